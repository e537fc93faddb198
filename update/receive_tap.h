// A look at the bytes of a download as the engine writes them, so that a
// file can be hashed while it arrives instead of being read again.
// Engines that offer it implement I_ReceiveTapHost besides I_Download.
//
// Thread safety: the tap is called on the thread that drives the engine,
// inside its download operation.
#pragma once
#include <cstdint>
#include <string>

namespace kivro {

class I_ReceiveTap {
 public:
  // Before the first byte: the file being written and how many bytes it
  // already holds (a resumed partial file), which the tap must take into
  // account itself. May be called again when the engine starts a file over.
  virtual void OnReceiveStart(const std::string& file, uint32_t offset) = 0;
  // Bytes that were just written to the file, in order.
  virtual void OnReceived(const void* data, uint32_t size) = 0;

 protected:
  ~I_ReceiveTap() = default;
};

class I_ReceiveTapHost {
 public:
  // Null removes the tap.
  virtual void SetReceiveTap(I_ReceiveTap* tap) = 0;

 protected:
  ~I_ReceiveTapHost() = default;
};

}  // namespace kivro
