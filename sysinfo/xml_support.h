// Which XML DOM components can be created, as a bit mask over a fixed list
// of component identifiers (ProgIDs).
#pragma once
#include <cstdint>
#include <functional>
#include <string>

// The five identifiers in bit order.

namespace kivro {

extern const char* const kXmlProgIds[5];

class XmlSupport {
 public:
  // Creates (and releases at once) an instance of the class registered under
  // a ProgID; false when it cannot.
  using CreateByProgId = std::function<bool(const std::string& progid)>;
  using DebugOutput = std::function<void(const std::string& line)>;

  XmlSupport();  // the system's object creation and debugger output
  XmlSupport(CreateByProgId create, DebugOutput debug);

  // Runs the probe: answers the bit mask and fills the text with one line
  // per component found.
  uint16_t Probe();
  const char* text() const { return text_; }
  uint16_t mask() const { return mask_; }

 private:
  CreateByProgId create_;
  DebugOutput debug_;
  char text_[512] = {};
  uint16_t mask_ = 0;
};

}  // namespace kivro
