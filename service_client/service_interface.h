// What the library sends to the download service on 127.0.0.1:9421 (service_port.h: or the port
// it recorded): the fixed address, the API version and every request target. All requests of the
// library are made from these.
#ifndef SERVICE_CLIENT_SERVICE_INTERFACE_H
#define SERVICE_CLIENT_SERVICE_INTERFACE_H

namespace service_client {

constexpr int kServicePort = 9421;
// The last port the service may take while other accounts' services hold the ones before it.
constexpr int kLastServicePort = 9436;
constexpr char kServiceAddress[] = "127.0.0.1";
constexpr char kServiceHostHeader[] = "localhost";
constexpr char kApiVersion[] = "capi_1.8.0.5";

// The client name the program's wrappers use; it is the User-Agent of every request.
constexpr char kWrapperClientName[] = "Tessel Download Client";
// The agreement text the wrappers record when they install the service.
constexpr char kWrapperAgreement[] = "Sample App EULA v1.2";

// Full URL of the liveness check, from the port and the API version.
constexpr char kPingUrlFormat[] = "http://127.0.0.1:%d/api?function=ping&apiversion=%s&installcpcode=-1";

// Request targets (what follows "GET /"), from the cid, the API version and the percent-encoded URL.
constexpr char kGetFileAttributesTarget[] = "api?function=getFileAttributes&cid=%d&apiversion=%s&url=%s&complete";
constexpr char kDownloadFileTarget[] = "api?function=downloadFile&cid=%d&apiversion=%s&url=%s";
constexpr char kPauseFileTarget[] = "api?function=pauseFile&cid=%d&apiversion=%s&url=%s";
constexpr char kDeleteFileTarget[] =
    "api?function=deleteFile&cid=%d&apiversion=%s&url=%s&keepphysicalfileondelete=%s";
constexpr char kGetClientAttributesTarget[] = "api?function=getClientAttributes&cid=%d&apiversion=%s&complete";

// Files in the data folder that the service reads.
constexpr char kGuidFileName[] = "guid.ini";
constexpr char kEulaFileName[] = "accepteula.txt";
constexpr char kUserStateFileName[] = "user.dat";
// The file of the data folder where the service records the port it listens on.
constexpr char kPortRecordFileName[] = "serviceport.txt";

}  // namespace service_client

#endif
