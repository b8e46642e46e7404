#include "tests/native/fake_system.h"

#include <algorithm>

#include "base/ascii.h"

namespace qmtest {
namespace {

std::string Fold(const std::string& text) { return qm::AsciiLower(text); }

std::string ParentOf(const std::string& path) {
  const size_t slash = path.rfind('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace

void FakeSystem::AddFile(const std::string& path, const std::string& content, uint64_t version) {
  CreateFolderChain(ParentOf(path));
  files_[Fold(path)] = {path, {content, version, false, false}};
}

FakeFile* FakeSystem::File(const std::string& path) {
  auto it = files_.find(Fold(path));
  return it == files_.end() ? nullptr : &it->second.file;
}

bool FakeSystem::HasFolder(const std::string& path) const { return folders_.count(Fold(path)) != 0; }

std::vector<std::string> FakeSystem::Files() const {
  std::vector<std::string> names;
  for (const auto& entry : files_) names.push_back(entry.second.name);
  return names;
}

void FakeSystem::SetCount(const std::string& key, const std::string& name, uint32_t count) {
  CreateKey(key);
  WriteCount(key, name, count);
}

std::vector<std::string> FakeSystem::Registry() const {
  std::vector<std::string> lines;
  for (const auto& key : keys_) {
    const std::string& name = key_names_.at(key.first);
    lines.push_back(name);
    for (const auto& value : key.second) lines.push_back(name + "\\" + value.first + "=" + value.second);
  }
  return lines;
}

bool FakeSystem::PathExists(const std::string& path) { return File(path) || HasFolder(path); }

qm::SystemError FakeSystem::CopyTo(const std::string& from, const std::string& to) {
  const FakeFile* source = File(from);
  if (!source) return kErrorFileNotFound;
  if (!HasFolder(ParentOf(to))) return kErrorPathNotFound;
  if (FakeFile* target = File(to)) {
    if (target->in_use) return kErrorSharingViolation;
    if (target->read_only) return kErrorAccessDenied;
  }
  if (full_folders.count(Fold(ParentOf(to)))) {
    files_[Fold(to)] = {to, {"partial", 0, false, false}};  // what a broken-off copy leaves
    return kErrorDiskFull;
  }
  FakeFile copy = *source;
  copy.in_use = false;
  files_[Fold(to)] = {to, copy};
  return qm::kSystemOk;
}

qm::SystemError FakeSystem::MoveTo(const std::string& from, const std::string& to) {
  auto it = files_.find(Fold(from));
  if (it == files_.end()) return kErrorFileNotFound;
  if (PathExists(to)) return kErrorAlreadyExists;
  Entry moved = it->second;
  moved.name = to;
  files_.erase(it);
  files_[Fold(to)] = moved;
  return qm::kSystemOk;
}

bool FakeSystem::RemoveFile(const std::string& path) {
  auto it = files_.find(Fold(path));
  if (it == files_.end() || it->second.file.in_use) return false;
  files_.erase(it);
  return true;
}

qm::SystemError FakeSystem::CreateFolderChain(const std::string& folder) {
  for (size_t slash = folder.find('\\'); ; slash = folder.find('\\', slash + 1)) {
    const std::string level = folder.substr(0, slash);
    if (!level.empty() && level.back() != ':') folders_.emplace(Fold(level), level);
    if (slash == std::string::npos) break;
  }
  return qm::kSystemOk;
}

void FakeSystem::ClearReadOnly(const std::string& path) {
  if (FakeFile* file = File(path)) file->read_only = false;
}

bool FakeSystem::FolderHoldsOnlyDotEntries(const std::string& folder) {
  const std::string prefix = Fold(folder) + "\\";
  auto holds = [&](const std::string& path) {
    return path.compare(0, prefix.size(), prefix) == 0 && path.find('\\', prefix.size()) == std::string::npos &&
           path[prefix.size()] != '.';
  };
  for (const auto& entry : files_)
    if (holds(entry.first)) return false;
  for (const auto& entry : folders_)
    if (holds(entry.first)) return false;
  return true;
}

void FakeSystem::RemoveFolder(const std::string& folder) {
  const std::string prefix = Fold(folder) + "\\";
  auto below = [&](const std::string& path) { return path.compare(0, prefix.size(), prefix) == 0; };
  for (const auto& entry : files_)
    if (below(entry.first)) return;
  for (const auto& entry : folders_)
    if (below(entry.first)) return;
  folders_.erase(Fold(folder));
}

uint64_t FakeSystem::FileVersion(const std::string& path) {
  const FakeFile* file = File(path);
  return file ? file->version : 0;
}

qm::EngineResult FakeSystem::ReplaceAtRestart(const std::string& source, const std::string& target,
                                              qm::SystemError* error) {
  *error = replace_result == qm::EngineResult::kOk ? qm::kSystemOk : kErrorSharingViolation;
  if (replace_result == qm::EngineResult::kOk) restart_work.push_back("replace " + target + " with " + source);
  return replace_result;
}

void FakeSystem::DeleteAtRestart(const std::string& path) { restart_work.push_back("delete " + path); }

bool FakeSystem::KeyExists(const std::string& key) { return keys_.count(Fold(key)) != 0; }

bool FakeSystem::CreateKey(const std::string& key) {
  for (size_t slash = key.find('\\'); ; slash = key.find('\\', slash + 1)) {
    const std::string level = key.substr(0, slash);
    if (keys_.emplace(Fold(level), std::map<std::string, std::string>()).second) key_names_[Fold(level)] = level;
    if (slash == std::string::npos) break;
  }
  return true;
}

qm::CountRead FakeSystem::ReadCount(const std::string& key, const std::string& name, uint32_t* count) {
  auto k = keys_.find(Fold(key));
  if (k == keys_.end()) return qm::CountRead::kFailed;
  auto v = k->second.find(Fold(name));
  if (v == k->second.end()) return qm::CountRead::kAbsent;
  if (v->second.empty() || v->second[0] != '#') return qm::CountRead::kFailed;  // a text value
  *count = static_cast<uint32_t>(std::stoul(v->second.substr(1)));
  return qm::CountRead::kPresent;
}

bool FakeSystem::WriteCount(const std::string& key, const std::string& name, uint32_t count) {
  auto k = keys_.find(Fold(key));
  if (k == keys_.end()) return false;
  k->second[Fold(name)] = "#" + std::to_string(count);
  return true;
}

bool FakeSystem::WriteString(const std::string& key, const std::string& name, const std::string& value) {
  auto k = keys_.find(Fold(key));
  if (k == keys_.end()) return false;
  k->second[Fold(name)] = value;
  return true;
}

void FakeSystem::DeleteValue(const std::string& key, const std::string& name) {
  auto k = keys_.find(Fold(key));
  if (k != keys_.end()) k->second.erase(Fold(name));
}

bool FakeSystem::KeyHasValues(const std::string& key) {
  auto k = keys_.find(Fold(key));
  return k != keys_.end() && !k->second.empty();
}

bool FakeSystem::KeyHasSubKeys(const std::string& key) {
  const std::string prefix = Fold(key) + "\\";
  return std::any_of(keys_.begin(), keys_.end(),
                     [&](const auto& k) { return k.first.compare(0, prefix.size(), prefix) == 0; });
}

void FakeSystem::DeleteKey(const std::string& parent, const std::string& name) {
  const std::string key = parent + "\\" + name;
  if (!KeyExists(key) || KeyHasSubKeys(key)) return;  // as on NT: only a key without subkeys
  keys_.erase(Fold(key));
  key_names_.erase(Fold(key));
}

qm::SystemError FakeSystem::StartProcess(const std::string& application, const std::string& command_line, bool wait) {
  if (!File(application)) return kErrorFileNotFound;
  started.push_back(application + "|" + command_line + (wait ? "|wait" : "|nowait"));
  return qm::kSystemOk;
}

FakeContext::FakeContext(FakeSystem& system)
    : context_{unpack_folder, program_files_folder, variables, effects, qm::LogGetWriter(), system} {}

}  // namespace qmtest
