// The BitTorrent metainfo of a published file, made with libtorrent: v1,
// one file, the file's HTTP URL as its web seed (url-list), no tracker.
// The swarm engine finds it through the meta file's "torrent" line.
#pragma once
#include <cstdint>
#include <string>

// Piece size by file size: the smallest power of two that keeps the file
// within about 1024 pieces, at least 16 KiB (one block, so small files
// still spread over several peers) and at most 4 MiB.

namespace kivro {

int32_t TorrentPieceSize(uint64_t file_size);

// Whether this build makes torrents (it has libtorrent-rasterbar; Debian
// has none for Windows).
bool CanMakeTorrents();

// The .torrent's bytes for `file` (a Windows path) with `web_seed_url` as
// its web seed. Deterministic: no creation date, a fixed creator. False with
// a message when the file cannot be read or hashed.
bool MakeTorrent(const std::string& file, const std::string& web_seed_url, std::string* bytes,
                 std::string* error);

}  // namespace kivro
