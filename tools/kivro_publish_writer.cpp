#include "tools/kivro_publish_writer.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <vector>

#include "patch/pul_base.h"
#include "patch/vrel_apply_info.h"
#include "patch/vrel_base.h"
#include "platform/codepage.h"
#include "platform/file.h"
#include "platform/filetime.h"
#include "tools/kivro_publish_sign.h"
#include "tools/kivro_publish_torrent.h"
#include "tools/kivro_publish_zip.h"
#include "transfer/swarmlet_meta.h"

namespace kivro {

bool WriteAtomically(const std::string& path, const std::string& text, std::string* error) {
  platform::CreateParentDirectories(path);
  std::string temporary = path + ".new";
  platform::File out;
  if (!out.Open(temporary, platform::File::kWrite, platform::File::Mode::kCreateAlways) ||
      !out.Write(text.data(), text.size()) || !out.Sync()) {
    *error = "cannot write " + temporary;
    return false;
  }
  out.Close();
  if (!platform::ReplacePath(temporary, path)) {
    *error = "cannot put " + path + " in place";
    return false;
  }
  return true;
}

namespace {

constexpr char kEntityFolder[] = "__npk_entity";

std::string Lower(const std::string& s) { return platform::ToLowerAscii(s); }

std::string Slashed(std::string s) {
  for (char& c : s)
    if (c == '\\') c = '/';
  return s;
}

std::string Join(const std::string& a, const std::string& b) {
  return a.empty() ? b : b.empty() ? a : a + "\\" + b;
}

// A folder line of the lists: "/" or "/data/sub".
std::string FolderLine(const std::string& folder) { return "/" + Slashed(folder); }

std::string U(uint64_t v) { return std::to_string(v); }

uint32_t FileSize(const std::string& path) {
  platform::FileInfo info;
  return platform::GetFileInfo(path, &info) ? static_cast<uint32_t>(info.size) : 0;
}

// The URL of a published file under `base` (http://host:port[/path]).
std::string PublishedUrl(std::string base, const std::string& relative) {
  if (base.back() != '/') base += '/';
  static const char kHex[] = "0123456789ABCDEF";
  for (char c : platform::Cp949ToUtf8(Slashed(relative))) {
    unsigned char u = static_cast<unsigned char>(c);
    if (std::isalnum(u) || std::strchr("-._~/", c) != nullptr) {
      base += c;
    } else {
      base += '%';
      base += kHex[u >> 4];
      base += kHex[u & 15];
    }
  }
  return base;
}

// The peer engine's meta file beside a published file ("<file>.swarmlet"):
// its name, size and where the whole file can be fetched over HTTP; with
// torrents, also "<file>.torrent" (web seed under the torrents' base URL)
// and its name in the meta file.
bool WritePeerMeta(const std::string& file, const PublishOptions& options, PublishSummary* summary,
                   std::string* error) {
  if (options.peer_source.empty() && options.torrent_base.empty()) return true;
  std::string relative = file.substr(options.server_dir.size() + 1);
  SwarmletMeta meta;
  meta.name = file.substr(file.rfind('\\') + 1);
  meta.size = FileSize(file);
  meta.sources.push_back(PublishedUrl(
      options.peer_source.empty() ? options.torrent_base : options.peer_source, relative));
  // A torrent cannot describe an empty file; the swarm engine makes one
  // from the meta file's size alone.
  if (!options.torrent_base.empty() && meta.size > 0) {
    std::string web_seed = PublishedUrl(options.torrent_base, relative);
    std::string torrent;
    if (!MakeTorrent(file, web_seed, &torrent, error) ||
        !WriteAtomically(file + ".torrent", torrent, error))
      return false;
    summary->written.push_back(file + ".torrent");
    meta.torrent = meta.name + ".torrent";
  }
  std::string text = WriteSwarmletMeta(meta);
  if (text.empty()) {
    *error = "cannot describe " + file + " for the peer engine";
    return false;
  }
  if (!WriteAtomically(file + ".swarmlet", text, error)) return false;
  summary->written.push_back(file + ".swarmlet");
  return true;
}

// What the server tree needs from one published item.
struct Removals {
  std::map<std::string, std::vector<std::string>> files;     // folder -> names
  std::map<std::string, std::vector<std::string>> packages;  // folder -> package names
  // "folder\package" -> listed entity names
  std::map<std::string, std::vector<std::string>> entities;
};

Removals FindRemovals(const Release& previous, const Release& current) {
  std::map<std::string, const PublishedFile*> now;
  for (const PublishedFile& f : current.files) now[Lower(Join(f.folder, f.name))] = &f;
  Removals r;
  for (const PublishedFile& old : previous.files) {
    auto it = now.find(Lower(Join(old.folder, old.name)));
    if (it == now.end()) {
      (old.package ? r.packages : r.files)[old.folder].push_back(old.name);
      continue;
    }
    if (!old.package || !it->second->package) continue;
    std::set<std::string> kept;
    for (const PublishedEntity& e : it->second->entities) kept.insert(Lower(e.name));
    for (const PublishedEntity& e : old.entities)
      if (kept.count(Lower(e.name)) == 0)
        r.entities[Join(old.folder, old.name)].push_back(e.listed);
  }
  return r;
}

// The checks that make a release publishable besides single names.
bool CheckRelease(const Release& release, const PublishOptions& options, std::string* error) {
  std::map<std::string, std::string> seen_paths, flat_names;
  for (const PublishedFile& f : release.files) {
    std::string shown = Join(f.folder, f.name);
    std::string top = f.folder.substr(0, f.folder.find('\\'));
    if (platform::EqualsNoCase(f.folder.empty() ? f.name : top, kEntityFolder)) {
      *error = "\"" + shown + "\": the folder " + kEntityFolder +
               " is where the launcher stages package entities";
      return false;
    }
    if (f.folder.empty() && (platform::EqualsNoCase(f.name, options.project + ".vrl") ||
                             platform::EqualsNoCase(f.name, options.project + ".pul"))) {
      *error = "\"" + shown + "\": the launcher keeps its patch list under this name";
      return false;
    }
    auto placed = seen_paths.emplace(Lower(shown), shown);
    if (!placed.second) {
      *error = "\"" + shown + "\" and \"" + placed.first->second +
               "\" differ only in case; Windows cannot hold both";
      return false;
    }
    if (f.package || options.per_directory) continue;
    auto flat = flat_names.emplace(Lower(f.name), shown);
    if (!flat.second) {
      *error = "\"" + shown + "\" and \"" + flat.first->second +
               "\" have the same name: with flat URLs every file of the release shares one "
               "folder on the server. Rename one, or publish with --subdir for per-directory URLs";
      return false;
    }
  }
  for (const PublishedFile& f : release.files) {
    if (f.list_time < platform::CalendarToSeconds({1000, 1, 1, 0, 0, 0}) ||
        f.list_time > platform::CalendarToSeconds({9999, 12, 31, 23, 59, 59})) {
      *error = "\"" + Join(f.folder, f.name) + "\" has a time the lists cannot write";
      return false;
    }
    // The reader keeps folder paths in 99 characters and package folders
    // (with "\<package>_npk") in 259.
    if (f.ListFolder().size() > 99) {
      *error = "folder \"" + f.folder + "\" is longer than 99 characters";
      return false;
    }
    if (f.package && f.ListFolder().size() + f.name.size() + 5 > 259) {
      *error = "package \"" + Join(f.folder, f.name) + "\": path too long for the lists";
      return false;
    }
  }
  return true;
}

// Server paths of the archives.
struct Layout {
  std::string dist;
  bool per_directory;
  std::string PlainArchive(const PublishedFile& f) const {
    return per_directory ? Join(Join(dist, f.folder), f.name) + ".zip"
                         : Join(dist, f.name) + ".zip";
  }
  std::string PackageArchive(const PublishedFile& f) const {
    return Join(Join(dist, f.folder), f.name) + ".zip";
  }
  std::string EntityArchive(const PublishedFile& f, const PublishedEntity& e) const {
    return Join(Join(Join(dist, kEntityFolder), f.folder), f.name + "_npk") + "\\" + e.listed +
           ".zip";
  }
};

bool WriteArchives(Release* release, const Layout& layout, const PublishOptions& options,
                   PublishSummary* summary, std::string* error) {
  for (PublishedFile& f : release->files) {
    std::string archive = f.package ? layout.PackageArchive(f) : layout.PlainArchive(f);
    ZipSource source;
    source.entry_name = f.name;
    source.file_path = f.path;
    source.list_time = f.list_time;
    source.mode = f.mode;
    if (!WriteZip(archive, {source}, error)) return false;
    summary->written.push_back(archive);
    if (!WritePeerMeta(archive, options, summary, error)) return false;
    f.archive_size = FileSize(archive);
    ++summary->archives;
    if (!f.package) {
      ++summary->files;
      continue;
    }
    ++summary->packages;
    NpkFile npk;
    NpkSetProgress(&npk, nullptr, 0);
    if (NpkOpen(&npk, f.path.c_str()) < 0) {
      *error = "cannot read package " + f.path;
      return false;
    }
    std::vector<uint8_t> content;
    for (PublishedEntity& e : f.entities) {
      NpkFileEntity* held = NpkFind(&npk, e.name.c_str());
      if (held == nullptr || NpkReadEntity(&npk, held, &content) < 0) {
        *error = "cannot decode entity \"" + e.name + "\" of " + f.path;
        return false;
      }
      std::string bytes(content.begin(), content.end());
      ZipSource entity_source;
      entity_source.entry_name = e.listed;
      entity_source.bytes = &bytes;
      entity_source.list_time = e.list_time;
      std::string entity_archive = layout.EntityArchive(f, e);
      if (!WriteZip(entity_archive, {entity_source}, error)) return false;
      summary->written.push_back(entity_archive);
      if (!WritePeerMeta(entity_archive, options, summary, error)) return false;
      e.archive_size = FileSize(entity_archive);
      ++summary->archives;
      ++summary->entities;
    }
  }
  return true;
}

std::string ListText(const Release& release, const Removals& removals,
                     const PublishOptions& options) {
  uint32_t total_checksum = 0, total_archive = 0, count = 0;
  int64_t newest = 0;
  std::map<std::string, std::vector<const PublishedFile*>> plain, packages;
  for (const PublishedFile& f : release.files) {
    total_checksum += f.checksum;
    total_archive += f.archive_size;
    ++count;
    if (f.list_time > newest) newest = f.list_time;
    (f.package ? packages : plain)[f.folder].push_back(&f);
  }
  std::string t;
  t += "! Patch list of " + options.project + ", written by kivro-publish\n";
  t += "[HEADER]\n";
  t += "PRJNAME\t" + options.project + "\n";
  t += "PUBDATE\t" + LongListDate(newest) + "\n";
  t += "TCHKSUM\t" + U(total_checksum) + "\n";
  t += "TFILENO\t" + U(count) + "\n";
  t += "TZIPSIZE\t" + U(total_archive) + "\n";
  t += "DOWNLOADURL\t\"" + options.download_url + "\"\n";
  t += "[INSTALL]\n";
  for (const auto& [folder, files] : plain) {
    t += FolderLine(folder) + "\n";
    for (const PublishedFile* f : files)
      t += f->name + "\t" + U(f->checksum) + "\t" + U(f->size) + "\t" + U(f->archive_size) + "\t" +
           LongListDate(f->list_time) + "\n";
  }
  t += "[UNINSTALL]\n";
  for (const auto& [folder, names] : removals.files) {
    t += FolderLine(folder) + "\n";
    for (const std::string& n : names) t += n + "\n";
  }
  t += "[NPK_PACKAGE_INSTALL]\n";
  for (const auto& [folder, list] : packages) {
    t += FolderLine(folder) + "\n";
    for (const PublishedFile* p : list) {
      t += p->name + "\t" + U(p->checksum) + "\t" + U(p->size) + "\t" + U(p->archive_size) + "\t" +
           LongListDate(p->list_time) + "\t" + std::string(p->header.signature, 4) + "\t" +
           U(p->header.version) + "\t" + U(p->header.entity_count) + "\t" +
           U(p->header.table_offset) + "\t" + U(p->header.data_offset);
      for (uint32_t k : p->key) t += "\t" + U(k);
      t += "\n";
    }
  }
  t += "[NPK_ENTITY_INSTALL]\n";
  for (const auto& [folder, list] : packages) {
    for (const PublishedFile* p : list) {
      if (p->entities.empty()) continue;
      t += FolderLine(Join(folder, p->name + "_npk")) + "\n";
      for (const PublishedEntity& e : p->entities) {
        const NpkEntityRecord& r = e.record;
        t += e.listed + "\t" + U(e.checksum) + "\t" + U(r.unpacked_size) + "\t" +
             U(e.archive_size) + "\t" + LongListDate(e.list_time) + "\t" + U(r.data_offset) + "\t" +
             U(r.stored_size) + "\t" + U(r.unpacked_size) + "\t" + U(r.flags) + "\t" +
             U(r.modified.high) + "\t" + U(r.modified.low) + "\t" + U(r.name_length) + "\n";
      }
    }
  }
  t += "[NPK_PACKAGE_UNINSTALL]\n";
  for (const auto& [folder, names] : removals.packages) {
    t += FolderLine(folder) + "\n";
    for (const std::string& n : names) t += n + "\n";
  }
  t += "[NPK_ENTITY_UNINSTALL]\n";
  for (const auto& [package, names] : removals.entities) {
    t += FolderLine(package) + "\n";
    for (const std::string& n : names) t += n + "\n";
  }
  return t;
}

// A canonical text of everything a patch list describes, to compare what
// was meant with what the reader makes of the written list.
std::string Describe(const CVrelBase& list) {
  std::string d;
  auto dirs = [&](const char* what, const std::vector<std::unique_ptr<VrelDirectory>>& v) {
    for (const auto& dir : v)
      for (const VrelFileRecord& f : dir->files)
        d += std::string(what) + "|" + Lower(dir->path) + "|" + Lower(f.name) + "|" +
             U(f.checksum) + "|" + U(f.size) + "|" + U(f.archive_size) + "|" +
             std::to_string(f.time) + "\n";
  };
  dirs("file", list.install_directories);
  dirs("remove", list.uninstall_directories);
  auto bags = [&](const char* what, const std::vector<std::unique_ptr<CNpkPackageBag>>& v) {
    for (const auto& bag : v)
      for (const auto& p : bag->packages) {
        d += std::string(what) + "|" + Lower(bag->path) + "|" + Lower(p->name) + "|" +
             U(p->checksum) + "|" + U(p->size) + "|" + U(p->archive_size) + "|" +
             std::to_string(p->time) + "|" + std::string(p->header.signature, 4) + "|" +
             U(p->header.version) + "|" + U(p->header.entity_count) + "|" +
             U(p->header.table_offset) + "|" + U(p->header.data_offset) + "|" +
             U(p->header.key[0]) + "," + U(p->header.key[1]) + "," + U(p->header.key[2]) + "," +
             U(p->header.key[3]) + "\n";
        for (const auto& e : p->entities) {
          const EntityInfoImage& i = e->info;
          d += std::string(what) + "-entity|" + Lower(bag->path) + "|" + Lower(p->name) + "|" +
               Lower(e->name) + "|" + U(e->checksum) + "|" + U(e->size) + "|" + U(e->archive_size) +
               "|" + std::to_string(e->time) + "|" + U(i.data_offset) + "|" + U(i.stored_size) +
               "|" + U(i.unpacked_size) + "|" + U(i.flags) + "|" + U(i.time_high) + "|" +
               U(i.time_low) + "|" + U(i.name_length) + "\n";
        }
      }
  };
  bags("package", list.package_install_bags);
  bags("remove-package", list.package_uninstall_bags);
  // Order is the writer's choice; what is described is compared.
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < d.size()) {
    size_t end = d.find('\n', start);
    lines.push_back(d.substr(start, end - start));
    start = end + 1;
  }
  std::sort(lines.begin(), lines.end());
  std::string sorted;
  for (const std::string& line : lines) sorted += line + "\n";
  return sorted;
}

// The same description built from the release, as the list should say it.
std::string DescribeRelease(const Release& release, const Removals& removals) {
  CVrelBase model;
  std::map<std::string, VrelDirectory*> install, uninstall;
  std::map<std::string, CNpkPackageBag*> bags, removal_bags;
  auto dir_of = [](std::map<std::string, VrelDirectory*>& m,
                   std::vector<std::unique_ptr<VrelDirectory>>& v, const std::string& folder) {
    auto& slot = m[folder];
    if (slot == nullptr) {
      v.push_back(std::make_unique<VrelDirectory>());
      slot = v.back().get();
      std::string path = folder.empty() ? "\\" : "\\" + folder;
      CopyText(slot->path, sizeof slot->path, path.c_str());
    }
    return slot;
  };
  auto bag_of = [](std::map<std::string, CNpkPackageBag*>& m,
                   std::vector<std::unique_ptr<CNpkPackageBag>>& v, const std::string& folder) {
    auto& slot = m[folder];
    if (slot == nullptr) {
      v.push_back(std::make_unique<CNpkPackageBag>());
      slot = v.back().get();
      std::string path = folder.empty() ? "\\" : "\\" + folder;
      CopyText(slot->path, path.c_str());
    }
    return slot;
  };
  for (const PublishedFile& f : release.files) {
    if (!f.package) continue;
    bag_of(bags, model.package_install_bags, f.folder);
  }
  for (const PublishedFile& f : release.files) {
    if (f.package) {
      auto p = std::make_unique<CNpkPackage>();
      CopyText(p->name, f.name.c_str());
      p->checksum = f.checksum;
      p->size = static_cast<uint32_t>(f.size);
      p->archive_size = f.archive_size;
      p->time = f.list_time;
      std::memcpy(p->header.signature, f.header.signature, 4);
      p->header.version = f.header.version;
      p->header.entity_count = f.header.entity_count;
      p->header.table_offset = f.header.table_offset;
      p->header.data_offset = f.header.data_offset;
      std::memcpy(p->header.key, f.key, sizeof p->header.key);
      for (const PublishedEntity& e : f.entities) {
        auto ent = std::make_unique<CNpkEntity>();
        CopyText(ent->name, e.listed.c_str());
        ent->checksum = e.checksum;
        ent->size = e.record.unpacked_size;
        ent->archive_size = e.archive_size;
        ent->time = e.list_time;
        ent->info = EntityInfoImage{
            e.record.data_offset,  e.record.stored_size,   e.record.unpacked_size, e.record.flags,
            e.record.modified.low, e.record.modified.high, e.record.name_length};
        p->entities.push_back(std::move(ent));
      }
      bags[f.folder]->packages.push_back(std::move(p));
      continue;
    }
    VrelFileRecord r;
    CopyText(r.name, sizeof r.name, f.name.c_str());
    r.checksum = f.checksum;
    r.size = static_cast<uint32_t>(f.size);
    r.archive_size = f.archive_size;
    r.time = f.list_time;
    dir_of(install, model.install_directories, f.folder)->files.push_back(r);
  }
  for (const auto& [folder, names] : removals.files)
    for (const std::string& n : names) {
      VrelFileRecord r;
      CopyText(r.name, sizeof r.name, n.c_str());
      dir_of(uninstall, model.uninstall_directories, folder)->files.push_back(r);
    }
  for (const auto& [folder, names] : removals.packages)
    for (const std::string& n : names) {
      auto p = std::make_unique<CNpkPackage>();
      CopyText(p->name, n.c_str());
      bag_of(removal_bags, model.package_uninstall_bags, folder)->packages.push_back(std::move(p));
    }
  for (const auto& [package_path, names] : removals.entities) {
    size_t slash = package_path.rfind('\\');
    std::string folder = slash == std::string::npos ? "" : package_path.substr(0, slash);
    std::string name = slash == std::string::npos ? package_path : package_path.substr(slash + 1);
    auto p = std::make_unique<CNpkPackage>();
    CopyText(p->name, name.c_str());
    for (const std::string& n : names) {
      auto e = std::make_unique<CNpkEntity>();
      CopyText(e->name, n.c_str());
      p->entities.push_back(std::move(e));
    }
    bag_of(removal_bags, model.package_uninstall_bags, folder)->packages.push_back(std::move(p));
  }
  return Describe(model);
}

// Lines of an existing list-patch file, kept when a new version is added.
struct PulCarry {
  std::vector<std::pair<std::string, std::string>> entries;   // name, line
  std::vector<std::pair<std::string, std::string>> sections;  // patch name, text
};

PulCarry ReadPulCarry(const std::string& path) {
  PulCarry carry;
  std::string text;
  if (!platform::ReadWholeFile(path, &text)) return carry;
  std::string section;  // "list", "patch:<name>" or ""
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    std::string line = text.substr(start, end == std::string::npos ? end : end - start + 1);
    start = end == std::string::npos ? text.size() : end + 1;
    if (line.empty() || line[0] == '!') continue;
    if (line[0] == '[') {
      std::string head = line.substr(0, line.find_first_of("]\r\n") + 1);
      if (head == "[LIST_PATCH]") {
        section = "list";
      } else if (head.rfind("[PATCH_", 0) == 0 && head.size() > 8) {
        section = "patch";
        carry.sections.emplace_back(head.substr(7, head.size() - 8), line);
      } else {
        section.clear();
      }
      continue;
    }
    if (section == "list") {
      carry.entries.emplace_back(line.substr(0, line.find_first_of("\t,\r\n")), line);
    } else if (section == "patch") {
      carry.sections.back().second += line;
    }
  }
  return carry;
}

bool WriteListPatch(const Release& release, const Release* previous, const Layout& layout,
                    const PublishOptions& options, PublishSummary* summary, std::string* error) {
  const std::string& version = options.list_patch_version;
  for (char c : version)
    if (!((c >= '0' && c <= '9') || c == '.')) {
      *error = "version \"" + version + "\": digits and dots only";
      return false;
    }
  std::string name = "patch_" + version + ".zip";
  // Files that differ from the previous release (all without one).
  std::map<std::string, const PublishedFile*> before;
  if (previous != nullptr)
    for (const PublishedFile& f : previous->files) before[Lower(Join(f.folder, f.name))] = &f;
  std::vector<const PublishedFile*> changed;
  for (const PublishedFile& f : release.files) {
    auto it = before.find(Lower(Join(f.folder, f.name)));
    if (it != before.end() && it->second->size == f.size && it->second->checksum == f.checksum &&
        it->second->list_time / 60 == f.list_time / 60)
      continue;
    changed.push_back(&f);
  }
  std::vector<ZipSource> sources;
  for (const PublishedFile* f : changed) {
    ZipSource s;
    s.entry_name = Slashed(Join(f->folder, f->name));
    s.file_path = f->path;
    s.list_time = f->list_time;
    s.mode = f->mode;
    sources.push_back(s);
  }
  if (!WriteZip(layout.dist + "\\" + name, sources, error)) return false;
  summary->written.push_back(layout.dist + "\\" + name);
  if (!WritePeerMeta(layout.dist + "\\" + name, options, summary, error)) return false;
  ++summary->archives;

  std::string list_path = options.server_dir + "\\vrl\\newvrl\\" + options.project + ".pul";
  PulCarry carry = ReadPulCarry(list_path);
  std::string section = "[PATCH_" + name + "]\n";
  std::map<std::string, std::vector<const PublishedFile*>> by_folder;
  for (const PublishedFile* f : changed) by_folder[f->folder].push_back(f);
  for (const auto& [folder, files] : by_folder) {
    section += FolderLine(folder) + "\n";
    for (const PublishedFile* f : files)
      section += f->name + "\t" + U(f->checksum) + "\t" + U(f->size) + "\t" +
                 LongListDate(f->list_time) + "\t" + version + "\n";
  }
  std::string t = "! List patch of " + options.project + ", written by kivro-publish\n";
  t += "[HEADER]\nVERSION\t" + version + "\nDIRECTORY\t" + options.list_patch_folder + "\n";
  t += "[LIST_PATCH]\n";
  for (const auto& [entry, line] : carry.entries)
    if (entry != name) t += line;
  t += name + "\t1\n";
  for (const auto& [patch, text] : carry.sections)
    if (patch != name) t += text;
  t += section;
  if (!WriteAtomically(list_path, t, error)) return false;
  summary->written.push_back(list_path);
  if (!WritePeerMeta(list_path, options, summary, error)) return false;

  CPulBase check;
  if (!check.Read(list_path.c_str()) || check.TooLarge() || check.newest_version != version ||
      check.archive_folder != options.list_patch_folder || check.entries.empty() ||
      std::string(check.entries.back()->name) != name) {
    *error = "the list patch written does not read back as meant";
    return false;
  }
  summary->list_patch_path = list_path;
  return true;
}

}  // namespace

std::string LongListDate(int64_t list_time) {
  platform::CalendarTime c = platform::SecondsToCalendar(list_time);
  char text[32];
  std::snprintf(text, sizeof text, "%04d%02d%02d-%02d%02d%02d", c.year, c.month, c.day, c.hour,
                c.minute, c.second);
  return text;
}

bool Publish(const PublishOptions& options, PublishSummary* summary, std::string* error) {
  *summary = PublishSummary();
  // The key is read first: a key that cannot sign leaves the tree untouched.
  MinisignSecretKey key;
  if (!options.sign_key_file.empty() && !ReadSigningKey(options.sign_key_file, &key, error))
    return false;
  Release release, previous;
  if (!ScanRelease(options.release_dir, true, &release, error)) return false;
  if (!CheckRelease(release, options, error)) return false;
  bool has_previous = !options.previous_dir.empty();
  if (has_previous && !ScanRelease(options.previous_dir, true, &previous, error)) {
    *error = "previous release: " + *error;
    return false;
  }
  Removals removals;
  if (has_previous) removals = FindRemovals(previous, release);
  for (const auto& [k, v] : removals.files) summary->removed_files += static_cast<int>(v.size());
  for (const auto& [k, v] : removals.packages)
    summary->removed_packages += static_cast<int>(v.size());
  for (const auto& [k, v] : removals.entities)
    summary->removed_entities += static_cast<int>(v.size());

  Layout layout{options.server_dir + "\\dist\\" + options.project, options.per_directory};
  if (!WriteArchives(&release, layout, options, summary, error)) return false;

  std::string list_path = options.server_dir + "\\vrl\\newvrl\\" + options.project + ".vrl";
  std::string text = ListText(release, removals, options);
  CVrelBase check;
  check.ReadBuffer(text.data(), text.size());
  std::string meant = DescribeRelease(release, removals), read = Describe(check);
  if (read != meant) {
    size_t at = 0;
    while (at < meant.size() && at < read.size() && meant[at] == read[at]) ++at;
    size_t line = meant.rfind('\n', at);
    line = line == std::string::npos ? 0 : line + 1;
    *error = "the patch list does not read back to the release it describes; first difference: " +
             meant.substr(line, meant.find('\n', line) - line) + " read as " +
             read.substr(line, read.find('\n', line) - line);
    return false;
  }
  if (!WriteAtomically(list_path, text, error)) return false;
  summary->written.push_back(list_path);
  if (!WritePeerMeta(list_path, options, summary, error)) return false;
  summary->list_path = list_path;

  if (!options.list_patch_version.empty() &&
      !WriteListPatch(release, has_previous ? &previous : nullptr, layout, options, summary, error))
    return false;
  if (!options.sign_key_file.empty() && !WriteSignedManifest(options, key, summary, error))
    return false;
  return true;
}

}  // namespace kivro
