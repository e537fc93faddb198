#include "transfer/swarmlet_engine/engine_settings.h"

namespace kivro {

namespace {

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return std::string();
  size_t e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

bool ReadInt(const std::string& v, int32_t low, int32_t high, int32_t* out) {
  if (v.empty() || v.size() > 10) return false;
  size_t i = v[0] == '-' ? 1 : 0;
  if (i == v.size()) return false;
  int64_t n = 0;
  for (; i < v.size(); ++i) {
    if (v[i] < '0' || v[i] > '9') return false;
    n = n * 10 + (v[i] - '0');
  }
  if (v[0] == '-') n = -n;
  if (n < low || n > high) return false;
  *out = static_cast<int32_t>(n);
  return true;
}

bool ReadBool(const std::string& v, bool* out) {
  if (v == "1" || v == "on" || v == "yes" || v == "true") {
    *out = true;
    return true;
  }
  if (v == "0" || v == "off" || v == "no" || v == "false") {
    *out = false;
    return true;
  }
  return false;
}

// Listen interfaces: "address:port" items separated by commas, where the
// address is a dotted IPv4 address, a bracketed IPv6 address or a device
// name; only characters of those forms pass.
bool ListenOk(const std::string& v) {
  if (v.empty() || v.size() > 256) return false;
  for (char c : v) {
    bool ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
              c == '.' || c == ':' || c == '[' || c == ']' || c == ',' || c == '_' || c == '-';
    if (!ok) return false;
  }
  return true;
}

bool Ipv4Ok(const std::string& a) {
  int parts = 0;
  size_t pos = 0;
  while (pos <= a.size()) {
    size_t dot = a.find('.', pos);
    std::string part = a.substr(pos, dot == std::string::npos ? std::string::npos : dot - pos);
    int32_t n = 0;
    if (part.empty() || part.size() > 3 || part[0] == '-' || !ReadInt(part, 0, 255, &n))
      return false;
    ++parts;
    if (dot == std::string::npos) break;
    pos = dot + 1;
  }
  return parts == 4;
}

bool Ipv6Ok(const std::string& a) {
  if (a.size() < 2 || a.size() > 45) return false;
  for (char c : a) {
    bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    if (!hex && c != ':' && c != '.') return false;
  }
  return a.find(':') != std::string::npos;
}

}  // namespace

bool SplitSwarmletPeer(const std::string& text, std::string* address, uint16_t* port) {
  size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0) return false;
  std::string host = text.substr(0, colon);
  int32_t p = 0;
  std::string port_text = text.substr(colon + 1);
  if (port_text.empty() || port_text[0] == '-' || !ReadInt(port_text, 1, 65535, &p)) return false;
  if (host.front() == '[') {
    if (host.back() != ']') return false;
    host = host.substr(1, host.size() - 2);
    if (!Ipv6Ok(host)) return false;
  } else if (!Ipv4Ok(host)) {
    return false;
  }
  *address = host;
  *port = static_cast<uint16_t>(p);
  return true;
}

bool ReadSwarmletSettings(const char* data, size_t size, SwarmletSettings* settings,
                          std::string* why) {
  size_t line_number = 0;
  auto fail = [&](const std::string& reason) {
    if (why != nullptr) *why = "line " + std::to_string(line_number) + ": " + reason;
    return false;
  };
  if (size > kSwarmletSettingsMaxBytes) return fail("settings file too long");
  SwarmletSettings s = *settings;
  size_t pos = 0;
  while (pos < size) {
    ++line_number;
    size_t end = pos;
    while (end < size && data[end] != '\n') ++end;
    std::string line(data + pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find('\0') != std::string::npos) return fail("zero byte");
    line = Trim(line);
    if (line.empty() || line[0] == '#' || line[0] == ';') continue;
    size_t eq = line.find('=');
    if (eq == std::string::npos) return fail("no '='");
    std::string key = Trim(line.substr(0, eq));
    std::string value = Trim(line.substr(eq + 1));
    bool ok = true;
    if (key == "listen") {
      ok = ListenOk(value);
      if (ok) s.listen = value;
    } else if (key == "listen_retries") {
      ok = ReadInt(value, 0, 1000, &s.listen_retries);
    } else if (key == "dht") {
      ok = ReadBool(value, &s.dht);
    } else if (key == "lsd") {
      ok = ReadBool(value, &s.lsd);
    } else if (key == "upnp") {
      ok = ReadBool(value, &s.upnp);
    } else if (key == "natpmp") {
      ok = ReadBool(value, &s.natpmp);
    } else if (key == "utp") {
      ok = ReadBool(value, &s.utp);
    } else if (key == "same_ip_peers") {
      ok = ReadBool(value, &s.same_ip_peers);
    } else if (key == "peer") {
      std::string address;
      uint16_t port = 0;
      if (s.peers.size() >= kSwarmletSettingsMaxPeers) return fail("too many peers");
      ok = SplitSwarmletPeer(value, &address, &port);
      if (ok) s.peers.push_back(value);
    } else if (key == "seed_seconds") {
      ok = ReadInt(value, -1, 1000000000, &s.seed_seconds);
    } else if (key == "stall_seconds") {
      ok = ReadInt(value, 1, 86400, &s.stall_seconds);
    } else if (key == "web_seed_retry_seconds") {
      ok = ReadInt(value, 1, 86400, &s.web_seed_retry_seconds);
    } else {
      return fail("unknown key \"" + key.substr(0, 40) + "\"");
    }
    if (!ok) return fail("bad value of " + key);
  }
  *settings = std::move(s);
  return true;
}

}  // namespace kivro
