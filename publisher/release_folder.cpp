#include "publisher/release_folder.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "publisher/sha256.h"
#include "publisher/text_checks.h"

extern char** environ;

namespace publisher {
namespace {

namespace fs = std::filesystem;

bool isInstallerName(const std::string& name) {
  std::string lower = name;
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return static_cast<char>(tolower(c)); });
  auto endsWith = [&lower](const char* suffix) {
    const std::string tail(suffix);
    return lower.size() > tail.size() && lower.compare(lower.size() - tail.size(), tail.size(), tail) == 0;
  };
  return endsWith(".exe") || endsWith(".msi");
}

// Runs a program (no shell) and collects what it prints; false when it cannot be started.
bool runAndRead(const std::vector<std::string>& arguments, std::string* output, int* status) {
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 2);
  posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  pid_t child = 0;
  const int spawned = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeEnds[1]);
  if (spawned != 0) {
    close(pipeEnds[0]);
    return false;
  }
  char buffer[4096];
  ssize_t got = 0;
  while ((got = read(pipeEnds[0], buffer, sizeof buffer)) > 0) output->append(buffer, static_cast<size_t>(got));
  close(pipeEnds[0]);
  waitpid(child, status, 0);
  return true;
}

}  // namespace

bool readReleaseFolder(const fs::path& folder, const std::string& installer, std::vector<ReleaseFile>* files,
                       std::string* error) {
  std::error_code failure;
  std::vector<std::string> names;
  for (fs::directory_iterator it(folder, failure), end; !failure && it != end; it.increment(failure)) {
    const std::string name = it->path().filename().string();
    // What the entry itself is, not what a link points to: a link could publish any file of the
    // machine, and what is not a regular file has no size and digest to promise.
    std::error_code statusFailure;
    const fs::file_type type = it->symlink_status(statusFailure).type();
    if (statusFailure) {
      *error = "cannot look at " + name + ": " + statusFailure.message();
      return false;
    }
    if (type == fs::file_type::directory) {
      *error = "the folder holds a subfolder (" + name + "); the downloader puts every file in one folder";
      return false;
    }
    if (type != fs::file_type::regular) {
      *error = name + " is " + (type == fs::file_type::symlink ? "a symbolic link" : "not a regular file") +
               "; a release holds regular files only, so nothing was published";
      return false;
    }
    if (!isPlayerText(name) || displayable(name) != name) {
      *error = "the name of " + displayable(name) + " is not printable UTF-8; nothing was published";
      return false;
    }
    names.push_back(name);
  }
  if (failure) {
    *error = "cannot read the folder " + folder.string() + ": " + failure.message();
    return false;
  }
  if (names.empty()) {
    *error = "the folder " + folder.string() + " holds no file";
    return false;
  }
  std::sort(names.begin(), names.end());
  std::string first = installer;
  if (first.empty()) {
    std::vector<std::string> candidates;
    std::copy_if(names.begin(), names.end(), std::back_inserter(candidates), isInstallerName);
    if (candidates.size() != 1) {
      *error = candidates.empty() ? "no installer (.exe or .msi) in the folder; name it with --installer"
                                  : "more than one .exe or .msi in the folder; name the installer with --installer";
      return false;
    }
    first = candidates[0];
  }
  auto at = std::find(names.begin(), names.end(), first);
  if (at == names.end()) {
    *error = "the installer " + first + " is not in the folder";
    return false;
  }
  std::rotate(names.begin(), at, at + 1);
  files->clear();
  for (const std::string& name : names) {
    ReleaseFile file;
    file.name = name;
    if (!sha256OfFile(folder / name, &file.sha256, &file.size, error)) return false;
    files->push_back(std::move(file));
  }
  return true;
}

std::string signerInReport(const std::string& report) {
  const size_t section = report.find("Signer's certificate:");
  if (section == std::string::npos) return {};
  const size_t subject = report.find("Subject:", section);
  if (subject == std::string::npos) return {};
  const std::string line = report.substr(subject, report.find('\n', subject) - subject);
  const size_t name = line.find("CN=");
  if (name == std::string::npos) return {};
  std::string common = line.substr(name + 3);
  const size_t next = common.find_first_of("/,");
  if (next != std::string::npos) common.resize(next);
  while (!common.empty() && (common.back() == ' ' || common.back() == '\r')) common.pop_back();
  return common;
}

bool verifyInstallerSignature(const fs::path& file, const std::string& signer, const std::string& caFile,
                              std::string* error) {
  std::string report;
  int status = 0;
  const std::string roots = caFile.empty() ? "/etc/ssl/certs/ca-certificates.crt" : caFile;
  if (!runAndRead({"osslsigncode", "verify", "-CAfile", roots, "-in", file.string()}, &report, &status)) {
    *error = "cannot run osslsigncode (bash scripts/setup installs it)";
    return false;
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || report.find("Signature verification: ok") == std::string::npos) {
    *error = "the signature of " + file.filename().string() + " does not verify";
    return false;
  }
  const std::string found = signerInReport(report);
  if (found != signer) {
    *error = file.filename().string() + " is signed by \"" + found + "\", not by \"" + signer + "\"";
    return false;
  }
  return true;
}

}  // namespace publisher
