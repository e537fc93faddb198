// Patch info and applier speed against well-known tools, in one run:
//  1. FileByteSum over a 1 GiB cached file vs `cat FILE >/dev/null`
//     (throughput ratio; at least 0.8 wanted);
//  2. unpacking a 256 MiB archive of mixed files with the applier vs
//     `unzip -o -q` (time ratio; at most 1.3 wanted);
//  3. ReadList + BuildDownloadList of an up-to-date install of 50,000 files
//     in 200 folders and 20 packages of 5,000 entities vs
//     `find DIR -printf '%s %T@\n' >/dev/null` (time ratio; at most 2 wanted);
//  4. the peak memory of checking a list of kVrelMaxRecords files against an
//     empty install folder (every file a download item: the worst case), and
//     of a list of 1,000,000 records (refused); each in a process of its own,
//     peak resident size from getrusage (under 600 MiB wanted); the same
//     for a list-patch list of kPulMaxRecords records (queued and verified,
//     every file a mismatch) and of 1,000,000 (refused).
// Each case takes the best of three runs of both sides.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "patch/file_byte_sum.h"
#include "patch/npk/npk.h"
#include "patch/pul_patch_info.h"
#include "patch/stamp_file_time.h"
#include "patch/vrel_apply.h"
#include "patch/vrel_apply_info.h"
#include "patch/vrel_patch_info.h"
#include "platform/file.h"
#include "platform/filetime.h"
#include "platform/internet_measure.h"
#include "platform/paths.h"
#include "platform/thread.h"

namespace kivro {

namespace fs = std::filesystem;

namespace {

double Seconds(const std::function<void()>& run) {
  double best = 1e30;
  for (int i = 0; i < 3; ++i) {
    auto start = std::chrono::steady_clock::now();
    run();
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (s < best) best = s;
  }
  return best;
}

void Shell(const std::string& command) {
  if (std::system(command.c_str()) != 0) {
    std::fprintf(stderr, "bench_patch_info: command failed: %s\n", command.c_str());
    std::exit(1);
  }
}

std::string Win(const std::string& posix) { return platform::ToWindowsPath(posix); }

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string Pattern(size_t n, uint32_t seed, bool compressible) {
  std::mt19937 g(seed);
  std::string s(n, '\0');
  if (compressible) {
    static const char kWords[] = "black white stone board komi ko atari seki ";
    for (size_t i = 0; i < n; ++i) s[i] = kWords[(i + g() % 3) % (sizeof kWords - 1)];
  } else {
    for (size_t i = 0; i + 4 <= n; i += 4) {
      uint32_t v = g();
      std::memcpy(&s[i], &v, 4);
    }
  }
  return s;
}

void ByteSumCase(const std::string& work) {
  std::string file = work + "/one-gib.bin";
  {
    std::string block = Pattern(size_t{1} << 20, 1, false);
    std::ofstream out(file, std::ios::binary);
    for (int i = 0; i < 1024; ++i)
      out.write(block.data(), static_cast<std::streamsize>(block.size()));
  }
  Shell("cat '" + file + "' >/dev/null");  // into the cache
  double cat = Seconds([&] { Shell("cat '" + file + "' >/dev/null"); });
  std::string win = Win(file);
  uint32_t sum = 0;
  double ours = Seconds([&] { sum = FileByteSum(win.c_str()); });
  std::printf(
      "FileByteSum 1 GiB: %.3f s (%.2f GB/s), cat: %.3f s; throughput ratio %.2f (>= 0.8 wanted) "
      "[sum %08x]\n",
      ours, 1.073741824 / ours, cat, cat / ours, sum);
  fs::remove(file);
}

void UnzipCase(const std::string& work) {
  std::string tree = work + "/mixed";
  // 256 MiB: many small compressible files, some large incompressible ones.
  size_t total = 0;
  uint32_t seed = 10;
  for (int dir = 0; total < (size_t{256} << 20); ++dir) {
    std::string folder = tree + "/d" + std::to_string(dir);
    fs::create_directories(folder);
    for (int i = 0; i < 100 && total < (size_t{256} << 20); ++i, ++seed) {
      bool large = seed % 50 == 0;
      size_t n = large ? (size_t{8} << 20) : 4096 + (seed * 7919) % 200000;
      WriteBytes(folder + "/f" + std::to_string(i) + (large ? ".bin" : ".txt"),
                 Pattern(n, seed, !large));
      total += n;
    }
  }
  std::string archive = work + "/mixed.zip";
  Shell("cd '" + tree + "' && zip -q -r '" + archive + "' .");
  fs::remove_all(tree);
  std::string out_unzip = work + "/out-unzip", out_ours = work + "/out-ours";
  double unzip = Seconds([&] { Shell("unzip -o -q '" + archive + "' -d '" + out_unzip + "'"); });
  CVrelApply apply;
  CVrelApplyInfo record;
  record.apply_kind = kApplyUnpackArchive;
  CopyText(record.source_path, Win(archive).c_str());
  CopyText(record.destination_folder, Win(out_ours).c_str());
  int32_t result = 0;
  double ours = Seconds([&] { result = apply.Apply(&record); });
  // Both sides must have written the same files.
  auto tally = [](const std::string& root) {
    std::pair<uint64_t, uint64_t> t{0, 0};
    for (const auto& e : fs::recursive_directory_iterator(root))
      if (e.is_regular_file()) {
        ++t.first;
        t.second += e.file_size();
      }
    return t;
  };
  if (tally(out_ours) != tally(out_unzip)) {
    std::fprintf(stderr, "bench_patch_info: the applier and unzip unpacked different trees\n");
    std::exit(1);
  }
  std::printf(
      "unpack %.0f MiB archive: applier %.3f s, unzip -o -q %.3f s; time ratio %.2f (<= 1.3 "
      "wanted) [result %d]\n",
      static_cast<double>(total) / (1 << 20), ours, unzip, ours / unzip, result);
  fs::remove_all(out_unzip);
  fs::remove_all(out_ours);
  fs::remove(archive);
}

void CheckCase(const std::string& work) {
  std::string install = work + "/install";
  std::string list = "[HEADER]\nPRJNAME bench\n[INSTALL]\n";
  const int64_t utc = 1700000000;
  const int64_t local = platform::UtcSecondsToLocal(utc);
  platform::CalendarTime c = platform::SecondsToCalendar(local);
  char date[32];
  std::snprintf(date, sizeof date, "%04d%02d%02d-%02d%02d%02d", c.year, c.month, c.day, c.hour,
                c.minute, c.second);
  platform::FileTime stamp = platform::UnixToFileTime(utc);
  for (int d = 0; d < 200; ++d) {
    std::string folder = "data/f" + std::to_string(d);
    fs::create_directories(install + "/" + folder);
    list += "/" + folder + "\n";
    for (int i = 0; i < 250; ++i) {
      bool exe = i == 0 && d % 20 == 0;  // a few programs, checked by byte sum
      std::string name = "file" + std::to_string(i) + (exe ? ".exe" : ".dat");
      std::string content =
          Pattern(256 + (i * 37) % 2048, static_cast<uint32_t>(d * 1000 + i), true);
      std::string path = install + "/" + folder + "/" + name;
      WriteBytes(path, content);
      platform::SetFileTimes(Win(path), nullptr, &stamp, &stamp);
      uint32_t sum = ByteSum(reinterpret_cast<const uint8_t*>(content.data()), content.size());
      list += name + "\t" + std::to_string(sum) + "\t" + std::to_string(content.size()) +
              "\t100\t" + date + "\n";
    }
  }
  // 20 packages of 5,000 entities, from one set of entity files.
  std::string parts = work + "/parts";
  fs::create_directories(parts);
  for (int e = 0; e < 5000; ++e)
    WriteBytes(parts + "/e" + std::to_string(e),
               Pattern(64 + e % 300, static_cast<uint32_t>(e), true));
  std::string packages = "[NPK_PACKAGE_INSTALL]\n/pack\n";
  std::string entities = "[NPK_ENTITY_INSTALL]\n";
  fs::create_directories(install + "/pack");
  for (int p = 0; p < 20; ++p) {
    std::string name = "p" + std::to_string(p) + ".npk";
    std::string path = install + "/pack/" + name;
    NpkCreatePackage(Win(path).c_str(), true);
    NpkFile npk;
    NpkSetProgress(&npk, nullptr, 0);
    NpkOpen(&npk, Win(path).c_str());
    for (int e = 0; e < 5000; ++e)
      NpkAddFile(&npk, Win(parts + "/e" + std::to_string(e)).c_str(),
                 ("sub\\entity" + std::to_string(e) + ".dat").c_str(), NPK_FLAG_COMPRESSED);
    NpkSave(&npk, nullptr, true);
    entities += "/pack/" + name + "_npk\n";
    for (NpkFileEntity* e = npk.first; e != nullptr; e = e->next) {
      const NpkEntityRecord& r = e->info;
      std::string listed = e->name;
      for (char& ch : listed)
        if (ch == '\\') ch = '^';
      entities += listed + "\t0\t" + std::to_string(r.unpacked_size) + "\t100\t" + date + "\t" +
                  std::to_string(r.data_offset) + "\t" + std::to_string(r.stored_size) + "\t" +
                  std::to_string(r.unpacked_size) + "\t" + std::to_string(r.flags) + "\t" +
                  std::to_string(r.modified.high) + "\t" + std::to_string(r.modified.low) + "\t" +
                  std::to_string(r.name_length) + "\n";
    }
    NpkClose(&npk);
    platform::SetFileTimes(Win(path), nullptr, &stamp, &stamp);
    packages += name + "\t0\t" + std::to_string(fs::file_size(path)) + "\t100\t" + date +
                "\tNPAK\t18\t5000\t0\t36\t77\t139\t23\t214\n";
  }
  fs::remove_all(parts);
  std::string list_path = work + "/bench.vrl";
  WriteBytes(list_path, list + packages + entities);

  Shell("find '" + install + "' -printf '%s %T@\\n' >/dev/null");  // warm the caches
  double find = Seconds([&] { Shell("find '" + install + "' -printf '%s %T@\\n' >/dev/null"); });
  platform::CriticalSection lock;
  CBDownloadList items;
  items.SetLock(&lock);
  int32_t count = -1;
  std::string win_list = Win(list_path), win_install = Win(install);
  double ours = Seconds([&] {
    CVrelPatchInfo info;
    info.SetDownloadList(&items);
    info.SetLocalBase(win_install.c_str());
    info.SetUrlBase("http://127.0.0.1/dist/gobanvista/");
    info.SetSubdirMode("N_SUBDIR");
    items.Clear();
    info.ReadList(win_list.c_str());
    info.BuildDownloadList();
    count = items.GetCount();
  });
  std::printf(
      "check of 50,000 files + 20 packages x 5,000 entities: ReadList+BuildDownloadList %.3f s, "
      "find %.3f s; time ratio %.2f (<= 2 wanted) [%d items]\n",
      ours, find, ours / find, count);
  fs::remove_all(install);
  fs::remove(list_path);
}

// Child side of case 4: checks a list of `records` files in 1,000 folders
// against an empty install folder and prints the peak resident size.
void ListPeakChild(const std::string& work, int records) {
  std::string list = "[HEADER]\nPRJNAME bench\n[INSTALL]\n";
  for (int i = 0; i < records; ++i) {
    if (i % (records / 1000 + 1) == 0) list += "/data/folder" + std::to_string(i) + "\n";
    list += "some_game_file_" + std::to_string(i) + ".dat\t1234\t5678\t910\t20240101-120000\n";
  }
  std::string list_path = work + "/peak.vrl";
  WriteBytes(list_path, list);
  list = std::string();
  std::string install = work + "/empty-install";
  fs::create_directories(install);
  platform::CriticalSection lock;
  CBDownloadList items;
  items.SetLock(&lock);
  int32_t code = 0;
  {
    CVrelPatchInfo info;
    info.SetDownloadList(&items);
    info.SetLocalBase(Win(install).c_str());
    info.SetUrlBase("http://127.0.0.1/dist/gobanvista/");
    info.SetSubdirMode("N_SUBDIR");
    code = info.ReadList(Win(list_path).c_str());
    if (code == 0) code = info.BuildDownloadList();
  }
  std::printf("check of a %d-record list: result %d, %d items, peak %.0f MiB (< 600 wanted)\n",
              records, code, items.GetCount(),
              static_cast<double>(platform::PeakResidentBytes()) / (1024 * 1024));
}

// The same for a list-patch list: `records` file records in one patch
// section and 100 archive entries, read, queued and verified against an
// empty install folder (every file a mismatch: the most it keeps).
void ListPatchPeakChild(const std::string& work, int records) {
  std::string list = "[HEADER]\nVERSION 1.0.100\nDIRECTORY patch\n[LIST_PATCH]\n";
  for (int i = 0; i < 100; ++i) list += "patch_1.0." + std::to_string(i + 1) + ".zip\t1\n";
  list += "[PATCH_patch_1.0.100.zip]\n";
  int files = records - 100;
  for (int i = 0; i < files; ++i) {
    if (i % (files / 1000 + 1) == 0) list += "/data/folder" + std::to_string(i) + "\n";
    list += "some_game_file_" + std::to_string(i) + ".dat\t1234\t5678\t20240101-120000\tnote\n";
  }
  std::string list_path = work + "/peak.pul";
  WriteBytes(list_path, list);
  list = std::string();
  std::string install = work + "/empty-install";
  fs::create_directories(install);
  platform::CriticalSection lock;
  CBDownloadList items;
  items.SetLock(&lock);
  int32_t code = 0, mismatches = 0;
  {
    CPulPatchInfo info;
    info.SetDownloadList(&items);
    info.SetLocalBase(Win(install).c_str());
    info.SetUrlBase("http://127.0.0.1/dist/gobanvista");
    info.SetSubdirMode("1.0.0");
    code = info.ReadList(Win(list_path).c_str());
    if (code == 0) code = info.BuildDownloadList();
    if (code == 0) info.Verify();
    mismatches = info.GetMismatchCount();
  }
  std::printf(
      "check of a %d-record list patch: result %d, %d items, %d mismatches, peak %.0f MiB (< 600 wanted)\n",
      records, code, items.GetCount(), mismatches,
      static_cast<double>(platform::PeakResidentBytes()) / (1024 * 1024));
}

void ListPeakCase(const char* self) {
  std::fflush(stdout);
  Shell(std::string("'") + self + "' list-peak-child " + std::to_string(kVrelMaxRecords));
  Shell(std::string("'") + self + "' list-peak-child 1000000");
  Shell(std::string("'") + self + "' list-patch-peak-child " + std::to_string(kPulMaxRecords));
  Shell(std::string("'") + self + "' list-patch-peak-child 1000000");
}

}  // namespace

}  // namespace kivro

using namespace kivro;

int main(int argc, char** argv) {
  std::string only = argc > 1 ? argv[1] : "";
  std::string work =
      (fs::temp_directory_path() / ("kivro-bench-patch-" + std::to_string(std::random_device()())))
          .string();
  fs::create_directories(work + "/root");
  setenv("KIVRO_ROOT", (work + "/root").c_str(), 1);
  if (only.empty() || only == "sum") ByteSumCase(work);
  if (only.empty() || only == "unzip") UnzipCase(work);
  if (only.empty() || only == "check") CheckCase(work);
  if (only == "list-peak-child" && argc > 2) ListPeakChild(work, std::atoi(argv[2]));
  if (only == "list-patch-peak-child" && argc > 2) ListPatchPeakChild(work, std::atoi(argv[2]));
  if (only.empty() || only == "list-peak") ListPeakCase(argv[0]);
  fs::remove_all(work);
  return 0;
}
