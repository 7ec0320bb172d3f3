// The functions of system DLLs outside KnownDLLs, taken on first use from the system folder by full
// path and called through tables typed from the SDK's own declarations.
//
// Windows searches the program's own folder first for a DLL outside KnownDLLs, and the downloader
// usually runs from Downloads, where a web page may leave a look-alike; a DLL imported at start-up
// would load before the program could restrict the search. So these DLLs are not imported at all:
// each has one table here (one header per DLL, since some SDK headers cannot share a translation
// unit), loaded by LoadSystemFolderDll on its first use and resolved whole. The same plain C++
// runs in the 32-bit and the 64-bit builds, and every test that reaches a DLL goes through it.
//
//   #define AK_EXAMPLE_FUNCTIONS(X) X(ExampleOpen) X(ExampleClose)
//   AK_SYSTEM_FUNCTIONS(ExampleFunctions, Example, "example.dll", AK_EXAMPLE_FUNCTIONS)
//
// declares struct ExampleFunctions with a member of type decltype(&::ExampleOpen) for each function,
// and const ExampleFunctions* Example(): the table, or null when the DLL or any of its functions
// cannot be had, with the thread's last error set (ERROR_MOD_NOT_FOUND, ERROR_PROC_NOT_FOUND or the
// loader's code) and the reason kept for SystemFunctionsFailure.
#ifndef WINDOWS_COMMON_SYSTEM_FUNCTIONS_H
#define WINDOWS_COMMON_SYSTEM_FUNCTIONS_H

#include <windows.h>

#include <string>

namespace wincommon {

// Resolves one table: the DLL is loaded when the resolver is made, each function by name after.
// The first failure is kept (Error() is 0 while there is none).
class SystemFunctionResolver {
 public:
  explicit SystemFunctionResolver(const char* dll);

  template <typename Function>
  void Resolve(Function& slot, const char* name) {
    slot = reinterpret_cast<Function>(reinterpret_cast<void*>(Find(name)));
  }

  DWORD Error() const { return error_; }
  // "<dll>: <function> not found", "<dll> not loaded (system error N)", or empty when complete.
  const std::string& Failure() const { return failure_; }

 private:
  FARPROC Find(const char* name);

  const char* dll_;
  HMODULE module_ = nullptr;
  DWORD error_ = 0;
  std::string failure_;
};

// Records a table that could not be resolved, for SystemFunctionsFailure and the debugger's output.
void NoteSystemFunctionsFailure(const std::string& failure);

// What the last table that could not be resolved lacked ("wininet.dll: InternetOpenA not found"),
// empty while none failed.
std::string SystemFunctionsFailure();

// One DLL's table, resolved once (the first caller resolves it; others wait for it).
template <typename Table>
class ResolvedSystemFunctions {
 public:
  template <typename Fill>
  ResolvedSystemFunctions(const char* dll, Fill fill) {
    SystemFunctionResolver resolver(dll);
    fill(resolver, table_);
    error_ = resolver.Error();
    if (error_ != 0) NoteSystemFunctionsFailure(resolver.Failure());
  }

  const Table* Get() const {
    if (error_ == 0) return &table_;
    SetLastError(error_);
    return nullptr;
  }

 private:
  Table table_{};
  DWORD error_ = 0;
};

}  // namespace wincommon

#define AK_SYSTEM_FUNCTION_SLOT(name) decltype(&::name) name;
#define AK_SYSTEM_FUNCTION_RESOLVE(name) resolver.Resolve(table.name, #name);

#define AK_SYSTEM_FUNCTIONS(Table, Accessor, dll, LIST)                                                     \
  struct Table {                                                                                            \
    LIST(AK_SYSTEM_FUNCTION_SLOT)                                                                           \
  };                                                                                                        \
  inline const Table* Accessor() {                                                                          \
    static const wincommon::ResolvedSystemFunctions<Table> resolved(                                        \
        dll, [](wincommon::SystemFunctionResolver& resolver, Table& table) { LIST(AK_SYSTEM_FUNCTION_RESOLVE) }); \
    return resolved.Get();                                                                                  \
  }

#endif
