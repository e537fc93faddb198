#include "sysinfo/xml_support.h"

#include <cstring>

namespace kivro {

const char* const kXmlProgIds[5] = {
    "MSXML2.DOMDocument",     "MSXML2.DOMDocument.2.6", "MSXML2.DOMDocument.3.0",
    "MSXML2.DOMDocument.4.0", "MSXML2.DOMDocument.5.0",
};

XmlSupport::XmlSupport(CreateByProgId create, DebugOutput debug)
    : create_(std::move(create)), debug_(std::move(debug)) {}

uint16_t XmlSupport::Probe() {
  text_[0] = '\0';
  mask_ = 0;
  for (int bit = 0; bit < 5; ++bit) {
    const std::string id = kXmlProgIds[bit];
    if (create_ && create_(id)) {
      mask_ = uint16_t(mask_ | (1u << bit));
      // Appended and cut at the 512-byte buffer (five lines always fit).
      std::strncat(text_, (id + "\n").c_str(), sizeof text_ - 1 - std::strlen(text_));
    } else if (debug_) {
      debug_("Failed to instantiate an " + id + "\n");
    }
  }
  return mask_;
}

}  // namespace kivro
