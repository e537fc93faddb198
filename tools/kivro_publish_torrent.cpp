// The one place of the publisher that includes libtorrent.
#include "tools/kivro_publish_torrent.h"

#if KIVRO_HAVE_LIBTORRENT
#include <libtorrent/create_torrent.hpp>
#include <libtorrent/error_code.hpp>
#include <libtorrent/file_storage.hpp>
#endif

#include "platform/codepage.h"
#include "platform/file.h"
#include "platform/paths.h"

namespace kivro {

int32_t TorrentPieceSize(uint64_t file_size) {
  int32_t piece = 16 * 1024;
  while (piece < 4 * 1024 * 1024 && static_cast<uint64_t>(piece) * 1024 < file_size) piece *= 2;
  return piece;
}

#if !KIVRO_HAVE_LIBTORRENT
bool CanMakeTorrents() { return false; }

bool MakeTorrent(const std::string&, const std::string&, std::string*, std::string* error) {
  *error = "this kivro-publish was built without libtorrent-rasterbar: no torrents";
  return false;
}
#else
bool CanMakeTorrents() { return true; }

bool MakeTorrent(const std::string& file, const std::string& web_seed_url, std::string* bytes,
                 std::string* error) {
  platform::FileInfo info;
  if (!platform::GetFileInfo(file, &info)) {
    *error = "cannot read " + file;
    return false;
  }
  size_t slash = file.rfind('\\');
  // libtorrent speaks UTF-8 names and native paths.
  std::string name = platform::Cp949ToUtf8(file.substr(slash + 1));
  std::string folder = platform::ToPosixPath(file.substr(0, slash));
  try {
    lt::file_storage files;
    files.add_file(name, static_cast<std::int64_t>(info.size));
    lt::create_torrent torrent(files, TorrentPieceSize(info.size), lt::create_torrent::v1_only);
    torrent.add_url_seed(web_seed_url);
    torrent.set_creator("kivro-publish");
    torrent.set_creation_date(0);
    lt::error_code ec;
    lt::set_piece_hashes(torrent, folder, ec);
    if (ec) {
      *error = "cannot hash " + file + ": " + ec.message();
      return false;
    }
    std::vector<char> buffer = torrent.generate_buf();
    bytes->assign(buffer.begin(), buffer.end());
  } catch (const std::exception& e) {
    *error = "cannot make the torrent of " + file + ": " + e.what();
    return false;
  }
  return true;
}
#endif

}  // namespace kivro
