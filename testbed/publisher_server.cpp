#include "testbed/publisher_server.h"

#include <fstream>
#include <map>
#include <sstream>

#include "web/error_text.h"
#include "testbed/web_plumbing.h"
#include "testbed/publisher_answers.h"

namespace testbed {
namespace {

bool readWholeFile(const std::filesystem::path& file, std::string* content) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  std::ostringstream read;
  read << in.rdbuf();
  *content = read.str();
  return true;
}

// The path's parts after "<base>/", split at "/"; none when the path is not below the base.
bool partsBelow(const std::string& path, const std::string& base, std::vector<std::string>* parts) {
  if (path.compare(0, base.size(), base) != 0 || path.size() <= base.size() || path[base.size()] != '/') return false;
  parts->clear();
  size_t at = base.size() + 1;
  for (;;) {
    size_t slash = path.find('/', at);
    parts->push_back(path.substr(at, slash == std::string::npos ? std::string::npos : slash - at));
    if (slash == std::string::npos) return true;
    at = slash + 1;
  }
}

Answer textAnswer(int status, std::string contentType, std::string body) {
  Answer answer;
  answer.status = status;
  answer.headers.push_back({"Content-Type", std::move(contentType)});
  answer.body = std::move(body);
  return answer;
}

}  // namespace

PublisherServer::PublisherServer(PublisherOptions options)
    : options_(std::move(options)),
      log_(options_.logPath),
      faults_({"sid", "config", "stats"}, server_),
      server_([this](const HttpRequest& request, uint64_t connectionId) { return handle(request, connectionId); }) {}

bool PublisherServer::start(uint16_t port, std::string* error) {
  if (!log_.usable(error)) return false;
  while (options_.basePath.size() > 1 && options_.basePath.back() == '/') options_.basePath.pop_back();
  if (options_.basePath.empty() || options_.basePath.front() != '/') {
    return failWith(error, "the base path must begin with /");
  }
  if (options_.gameCode.empty() || options_.gameCode.find('/') != std::string::npos) {
    return failWith(error, "the game code must be one path segment");
  }
  if (options_.sid.empty() || options_.sid.find('/') != std::string::npos) {
    return failWith(error, "the sid must be one path segment");
  }
  if (options_.sidAnswerFile.empty()) {
    sidText_ = sidAnswer(options_.sid);
  } else if (!readWholeFile(options_.sidAnswerFile, &sidText_)) {
    return failWith(error, "cannot read " + options_.sidAnswerFile.u8string());
  }
  if (!options_.configAnswerFile.empty()) {
    if (!readWholeFile(options_.configAnswerFile, &config_)) {
      return failWith(error, "cannot read " + options_.configAnswerFile.u8string());
    }
  } else {
    if (options_.gameFolder.empty() || options_.originUrl.empty()) {
      return failWith(error, "give a configuration answer file, or a game folder and the origin's URL");
    }
    std::vector<ConfigEntry> entries;
    std::string why;
    if (!entriesForFolder(options_.gameFolder, options_.originUrl, &entries, &why, options_.namesAsIs)) {
      return failWith(error, why);
    }
    if (!options_.digestListing.empty()) {
      std::string listing;
      std::map<std::string, std::string> digests;
      if (!readWholeFile(options_.digestListing, &listing)) {
        return failWith(error, "cannot read " + options_.digestListing.u8string());
      }
      if (!readDigestListing(listing, &digests, &why)) return failWith(error, why);
      for (ConfigEntry& entry : entries) {
        auto found = digests.find(entry.name);
        if (found != digests.end()) entry.sha256 = found->second;
      }
    }
    config_ = configAnswer(options_.fileId, entries);
  }
  return server_.start(port, error);
}

Answer PublisherServer::handle(const HttpRequest& request, uint64_t connectionId) {
  log_.record(request, connectionId);
  if (request.path == "/control") return faults_.controlAnswer(request);
  std::vector<std::string> parts;
  std::string kind = "other";
  bool sidMatches = false;
  if (partsBelow(request.path, options_.basePath, &parts) && parts[0] == options_.gameCode) {
    if (parts.size() == 1) kind = "sid";
    if (parts.size() == 3 && parts[2] == "config") kind = "config";
    if (parts.size() == 3 && parts[2] == "stats") kind = "stats";
    sidMatches = parts.size() == 3 && (parts[1] == options_.sid || !options_.sidAnswerFile.empty());
  }
  return faults_.shape(kind, normalAnswer(request, kind, sidMatches));
}

Answer PublisherServer::normalAnswer(const HttpRequest& request, const std::string& kind, bool sidMatches) {
  if (kind == "other" || (kind != "sid" && !sidMatches)) return textAnswer(404, "text/plain", "Not found\n");
  bool isGet = request.method == "GET" || request.method == "HEAD";
  if (kind == "stats") {
    if (request.method != "POST") return textAnswer(405, "text/plain", "Method not allowed\n");
    return textAnswer(200, "text/plain", "OK");
  }
  if (!isGet) return textAnswer(405, "text/plain", "Method not allowed\n");
  return textAnswer(200, "text/xml", kind == "sid" ? sidText_ : config_);
}

}  // namespace testbed
