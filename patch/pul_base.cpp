#include "patch/pul_base.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "patch/list_date.h"
#include "patch/list_lines.h"
#include "platform/file.h"

namespace kivro {

namespace {

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

// Names that do not fit their field drop the record: a cut name would name
// another file.
bool Fill(char (&field)[kTextSize], const std::string& text) {
  if (text.size() >= kTextSize) return false;
  std::memcpy(field, text.c_str(), text.size() + 1);
  return true;
}

struct Version {
  int parts[3] = {0, 0, 0};
};

Version SplitVersion(const char* text) {
  Version v;
  if (text == nullptr) return v;
  const char* first = std::strchr(text, '.');
  const char* last = std::strrchr(text, '.');
  v.parts[0] = std::atoi(text);
  if (first == nullptr) return v;
  if (first == last) {
    // One dot: "major.minor", the last part missing.
    v.parts[1] = std::atoi(first + 1);
    return v;
  }
  v.parts[1] = std::atoi(first + 1);
  v.parts[2] = std::atoi(last + 1);
  return v;
}

}  // namespace

int32_t CompareVersions(const char* a, const char* b) {
  Version va = SplitVersion(a), vb = SplitVersion(b);
  for (int i = 0; i < 3; ++i) {
    if (va.parts[i] < vb.parts[i]) return 1;
    if (va.parts[i] > vb.parts[i]) return -1;
  }
  return 0;
}

bool CPulBase::Read(const char* path) {
  bool opened = ReadListLines(path, [this](const char* line) { ParseLine(line); });
  DropOverridden();
  return opened;
}

void CPulBase::ReadBuffer(const char* data, size_t length) {
  SplitListLines(data, length, [this](const char* line) { ParseLine(line); });
  DropOverridden();
}

void CPulBase::DropOverridden() {
  if (overridden_ == 0) return;
  files.erase(std::remove(files.begin(), files.end(), nullptr), files.end());
  // The positions moved: a later read (without a reset) still overrides.
  for (size_t i = 0; i < files.size(); ++i)
    file_index_[std::string(files[i]->directory) + '\n' + files[i]->name] = i;
  overridden_ = 0;
}

void CPulBase::Reset() {
  entries.clear();
  files.clear();
  file_index_.clear();
  overridden_ = 0;
  line_count = 0;
  record_count = 0;
  header_key_count = 0;
  current_section = kPulSectionOther;
  current_patch.clear();
  current_directory.clear();
  newest_version.clear();
  archive_folder.clear();
}

const std::string& CPulBase::Field(bool first) {
  if (first)
    tokenizer.NextToken(false, &token_);
  else
    tokenizer.NextValue(&token_);
  return token_;
}

void CPulBase::ParseLine(const char* line) {
  ++line_count;
  tokenizer.SetLine(line);
  std::string first;
  if (!tokenizer.NextToken(true, &first) || first.empty()) return;
  char c = first[0];
  if (c == '\t' || c == '\n' || c == '\r' || c == ',' || c == ' ') return;
  tokenizer.Rewind();

  if (c == '!') return;
  if (c == '/') {
    std::string directory;
    if (tokenizer.NextToken(false, &directory)) current_directory = directory;
    return;
  }
  if (c == '[') {
    std::string section = Upper(first);
    if (section == "[HEADER]") {
      current_section = kPulSectionHeader;
    } else if (section == "[LIST_PATCH]") {
      current_section = kPulSectionListPatch;
    } else if (section.find("[PATCH_") != std::string::npos) {
      current_section = kPulSectionPatch;
      current_patch = first.size() >= 8 ? first.substr(7, first.size() - 8) : std::string();
    } else {
      current_section = kPulSectionOther;
    }
    return;
  }
  if (header_key_count != 2) {
    std::string key;
    tokenizer.NextToken(true, &key);
    key = Upper(key);
    std::string value;
    if (key == "VERSION" || key == "DIRECTORY") {
      if (!tokenizer.NextToken(true, &value)) value.clear();
      (key == "VERSION" ? newest_version : archive_folder) = value;
      ++header_key_count;
    }
    return;
  }

  token_.clear();
  if (current_section != kPulSectionListPatch && current_section != kPulSectionPatch) return;
  // Past the bound nothing more is kept: the list is refused as a whole.
  if (++record_count > kPulMaxRecords) return;
  if (current_section == kPulSectionListPatch) {
    auto entry = std::make_unique<PulListEntry>();
    if (!Fill(entry->name, Field(true))) return;
    entry->use = static_cast<int32_t>(ListNumber(Field(false)));
    entries.push_back(std::move(entry));
  } else if (current_section == kPulSectionPatch) {
    auto record = std::make_unique<PulFileRecord>();
    if (!Fill(record->directory, current_directory) || !Fill(record->name, Field(true))) return;
    record->checksum = ListNumber(Field(false));
    record->size = ListNumber(Field(false));
    ParseListDate(Field(false), &record->time);
    // A note that does not fit is cut: it is only shown, never a path. A
    // missing note is empty.
    std::string note;
    if (tokenizer.NextValue(&note)) CopyText(record->note, note.c_str());
    // A later patch section overrides an earlier one for the same file.
    std::string key = std::string(record->directory) + '\n' + record->name;
    auto known = file_index_.find(key);
    if (known != file_index_.end()) {
      files[known->second].reset();
      ++overridden_;
    }
    file_index_[key] = files.size();
    files.push_back(std::move(record));
  }
}

}  // namespace kivro
