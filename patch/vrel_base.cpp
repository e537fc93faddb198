#include "patch/vrel_base.h"

#include <algorithm>
#include <cstring>

#include "patch/list_date.h"
#include "patch/list_lines.h"
#include "platform/codepage.h"
#include "platform/file.h"
#include "platform/paths.h"

namespace kivro {

namespace {

constexpr const char* kSectionNames[] = {"[HEADER]",
                                         "[INSTALL]",
                                         "[UNINSTALL]",
                                         "[NPK_PACKAGE_INSTALL]",
                                         "[NPK_ENTITY_INSTALL]",
                                         "[NPK_PACKAGE_UNINSTALL]",
                                         "[NPK_ENTITY_UNINSTALL]",
                                         "[SETUP_INSTALL]"};

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

// Copies `text` into a fixed field; false (nothing copied) when it does not
// fit. Records with such names are dropped rather than cut, since a cut
// name would name another file.
template <size_t N>
bool Fill(char (&field)[N], const std::string& text) {
  if (text.size() >= N) return false;
  memcpy(field, text.c_str(), text.size() + 1);
  return true;
}

// Splits a lower-cased "bag\package" path at its last backslash; a
// backslash in first place leaves the bag path "\".
bool SplitPackagePath(const std::string& path, std::string* bag, std::string* package) {
  size_t slash = path.rfind('\\');
  if (slash == std::string::npos) return false;
  *bag = slash == 0 ? std::string("\\") : path.substr(0, slash);
  *package = path.substr(slash + 1);
  return true;
}

}  // namespace

bool CVrelBase::Read(const char* path) {
  return ReadListLines(
      path, [this](const char* line) { ParseLine(line); },
      [this] { current_section = kSectionHeader; });
}

void CVrelBase::ReadBuffer(const char* data, size_t length) {
  current_section = kSectionHeader;
  SplitListLines(data, length, [this](const char* line) { ParseLine(line); });
}

void CVrelBase::Reset() {
  install_directories.clear();
  uninstall_directories.clear();
  package_install_bags.clear();
  package_uninstall_bags.clear();
  setup_directories.clear();
  line_count = 0;
  current_section = kSectionUnknown;
  publication_date = 0;
  total_checksum = 0;
  total_archive_size = 0;
  total_file_count = 0;
  header_key_count = 0;
  current_directory = nullptr;
  current_package = nullptr;
  current_bag = nullptr;
  directory_section_ = bag_section_ = package_section_ = kSectionUnknown;
}

const std::string& CVrelBase::Field(bool first) {
  if (first)
    tokenizer.NextToken(false, &token_);
  else
    tokenizer.NextValue(&token_);
  return token_;
}

void CVrelBase::ParseLine(const char* line) {
  ++line_count;
  tokenizer.SetLine(line);
  // A failed read leaves no token: the line (a single field without a line
  // feed) is ignored like an empty one.
  token_.clear();
  if (!tokenizer.NextToken(true, &token_) || token_.empty()) return;
  tokenizer.Rewind();
  switch (tokenizer.line[0]) {
    case '[':
      ParseSectionLine();
      break;
    case '/':
      ParseDirectoryLine(false);
      break;
    case '<':
      ParseDirectoryLine(true);
      break;
    case '!':
      break;
    default:
      if (header_key_count != 6)
        ParseHeaderKey();
      else
        ParseRecord();
      break;
  }
}

void CVrelBase::ParseSectionLine() {
  std::string name = Upper(token_);
  current_section = kSectionUnknown;
  for (int i = 0; i < 8; ++i)
    if (name == kSectionNames[i]) current_section = static_cast<SectionType>(i + 1);
}

void CVrelBase::ParseHeaderKey() {
  std::string key;
  tokenizer.NextToken(true, &key);
  key = Upper(key);
  std::string value;
  bool has_value = tokenizer.NextToken(true, &value);
  if (!has_value) value.clear();
  if (key == "PRJNAME") {
    project_name = value;
  } else if (key == "PUBDATE") {
    ParseListDate(value, &publication_date);
  } else if (key == "TCHKSUM") {
    total_checksum = ListNumber(value);
  } else if (key == "TFILENO") {
    total_file_count = ListNumber(value);
  } else if (key == "TZIPSIZE") {
    total_archive_size = ListNumber(value);
  } else if (key == "DOWNLOADURL") {
    size_t begin = value.find_first_not_of('"');
    size_t end = value.find_last_not_of('"');
    download_url =
        begin == std::string::npos ? std::string() : value.substr(begin, end - begin + 1);
  } else {
    return;
  }
  ++header_key_count;  // also when the value is bad
}

void CVrelBase::ParseDirectoryLine(bool keyword) {
  header_key_count = 6;
  if (current_section == kSectionUnknown || current_section == kSectionHeader)
    current_section = kSectionInstall;
  std::string path = Field(true);
  if (keyword) {
    // "<WINDOWS>", "<SYSTEM>" and "<TEMP>": the keyword, its brackets and
    // nothing else are replaced (case-sensitive, as the lists write them).
    if (path.size() >= 8 && path.compare(1, 7, "WINDOWS") == 0) {
      path = platform::WindowsDirectory() + path.substr(std::min<size_t>(9, path.size()));
    } else if (path.size() >= 7 && path.compare(1, 6, "SYSTEM") == 0) {
      path = platform::SystemDirectory() + path.substr(std::min<size_t>(8, path.size()));
    } else if (path.size() >= 5 && path.compare(1, 4, "TEMP") == 0) {
      std::string temp = platform::TempDirectory();
      if (!temp.empty() && temp.back() == '\\') temp.pop_back();
      path = temp + path.substr(std::min<size_t>(6, path.size()));
    } else {
      return;
    }
  }
  std::replace(path.begin(), path.end(), '/', '\\');
  int32_t flag = keyword ? 1 : 0;

  auto add_directory = [&](std::vector<std::unique_ptr<VrelDirectory>>& list) {
    current_directory = nullptr;
    directory_section_ = current_section;
    auto directory = std::make_unique<VrelDirectory>();
    directory->keyword = flag;
    if (!Fill(directory->path, path)) return;  // too long: its records are dropped too
    current_directory = directory.get();
    list.push_back(std::move(directory));
  };
  auto add_bag = [&](std::vector<std::unique_ptr<CNpkPackageBag>>& list) {
    current_bag = nullptr;
    bag_section_ = current_section;
    auto bag = std::make_unique<CNpkPackageBag>();
    bag->keyword = flag;
    if (!Fill(bag->path, path)) return;
    current_bag = bag.get();
    list.push_back(std::move(bag));
  };

  switch (current_section) {
    case kSectionInstall:
      add_directory(install_directories);
      break;
    case kSectionUninstall:
      add_directory(uninstall_directories);
      break;
    case kSectionSetupInstall:
      add_directory(setup_directories);
      break;
    case kSectionNpkPackageInstall:
      add_bag(package_install_bags);
      break;
    case kSectionNpkPackageUninstall:
      add_bag(package_uninstall_bags);
      break;
    case kSectionNpkEntityInstall:
      SelectEntityInstallPackage(std::move(path));
      break;
    case kSectionNpkEntityUninstall:
      SelectEntityUninstallPackage(std::move(path), flag);
      break;
    default:
      break;
  }
}

// The entity lines that follow go into a package already listed in
// [NPK_PACKAGE_INSTALL]; nothing is created. When the package named is not
// listed, the lines that follow are dropped: sending them into whatever
// package was current before would install them into the wrong package.
void CVrelBase::SelectEntityInstallPackage(std::string path) {
  current_package = nullptr;
  package_section_ = kSectionNpkEntityInstall;
  path = platform::ToLowerAscii(std::move(path));
  if (path.size() < 5 || path.compare(path.size() - 4, 4, "_npk") != 0) return;
  path.resize(path.size() - 4);
  std::string bag_path, package_name;
  if (!SplitPackagePath(path, &bag_path, &package_name)) return;
  for (auto& bag : package_install_bags) {
    if (!platform::EqualsNoCase(bag->path, bag_path)) continue;
    current_bag = bag.get();
    bag_section_ = kSectionNpkEntityInstall;
    for (auto& package : bag->packages) {
      if (platform::EqualsNoCase(package->name, package_name)) {
        current_package = package.get();
        return;
      }
    }
    return;
  }
}

void CVrelBase::SelectEntityUninstallPackage(std::string path, int32_t keyword) {
  current_package = nullptr;
  package_section_ = kSectionNpkEntityUninstall;
  path = platform::ToLowerAscii(std::move(path));
  std::string bag_path, package_name;
  if (!SplitPackagePath(path, &bag_path, &package_name)) return;
  if (bag_path.size() >= kTextSize || package_name.size() >= kTextSize) return;
  CNpkPackageBag* bag = nullptr;
  for (auto& candidate : package_uninstall_bags) {
    if (platform::EqualsNoCase(candidate->path, bag_path)) {
      bag = candidate.get();
      break;
    }
  }
  if (bag == nullptr) {
    auto created = std::make_unique<CNpkPackageBag>();
    created->keyword = keyword;
    Fill(created->path, bag_path);
    bag = created.get();
    package_uninstall_bags.push_back(std::move(created));
  }
  current_bag = bag;
  bag_section_ = kSectionNpkEntityUninstall;
  for (auto& package : bag->packages) {
    if (platform::EqualsNoCase(package->name, package_name)) {
      current_package = package.get();
      return;
    }
  }
  auto created = std::make_unique<CNpkPackage>();
  Fill(created->name, package_name);
  current_package = created.get();
  bag->packages.push_back(std::move(created));
}

void CVrelBase::ParseRecord() {
  const SectionType section = current_section;
  switch (section) {
    case kSectionInstall:
    case kSectionSetupInstall:
    case kSectionUninstall: {
      if (current_directory == nullptr || directory_section_ != section) return;
      VrelFileRecord record;
      if (!Fill(record.name, Field(true))) return;
      if (section != kSectionUninstall) {
        record.checksum = ListNumber(Field(false));
        record.size = ListNumber(Field(false));
        record.archive_size = ListNumber(Field(false));
        if (!ParseListDate(Field(false), &record.time)) return;
      }
      current_directory->files.push_back(record);
      return;
    }
    case kSectionNpkPackageInstall:
    case kSectionNpkPackageUninstall: {
      if (current_bag == nullptr || bag_section_ != section) return;
      auto package = std::make_unique<CNpkPackage>();
      if (!Fill(package->name, Field(true))) return;
      if (section == kSectionNpkPackageInstall) {
        package->checksum = ListNumber(Field(false));
        package->size = ListNumber(Field(false));
        package->archive_size = ListNumber(Field(false));
        if (!ParseListDate(Field(false), &package->time)) return;
        const std::string& signature = Field(false);
        for (size_t i = 0; i < 4; ++i)  // a shorter signature is padded with NUL
          package->header.signature[i] = i < signature.size() ? signature[i] : '\0';
        package->header.version = ListNumber(Field(false));
        package->header.entity_count = ListNumber(Field(false));
        package->header.table_offset = ListNumber(Field(false));
        package->header.data_offset = ListNumber(Field(false));
        for (uint32_t& word : package->header.key) word = ListNumber(Field(false));
      }
      current_bag->packages.push_back(std::move(package));
      return;
    }
    case kSectionNpkEntityInstall:
    case kSectionNpkEntityUninstall: {
      if (current_package == nullptr || package_section_ != section) return;
      auto entity = std::make_unique<CNpkEntity>();
      if (!Fill(entity->name, Field(true))) return;
      if (section == kSectionNpkEntityInstall) {
        entity->checksum = ListNumber(Field(false));
        entity->size = ListNumber(Field(false));
        entity->archive_size = ListNumber(Field(false));
        if (!ParseListDate(Field(false), &entity->time)) return;
        entity->info.data_offset = ListNumber(Field(false));
        entity->info.stored_size = ListNumber(Field(false));
        entity->info.unpacked_size = ListNumber(Field(false));
        entity->info.flags = ListNumber(Field(false));
        entity->info.time_high = ListNumber(Field(false));  // high word first
        entity->info.time_low = ListNumber(Field(false));
        entity->info.name_length = static_cast<uint16_t>(ListNumber(Field(false)));
      }
      current_package->entities.push_back(std::move(entity));
      return;
    }
    default:
      return;  // header or unrecognised section
  }
}

}  // namespace kivro
