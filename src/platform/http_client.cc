// What both HTTP clients share: where a redirect may lead.
#include "platform/http_client.h"

#include <cctype>

namespace platform {
namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

struct UrlParts {
  std::string scheme;     // lower case
  std::string authority;  // as written
  std::string host;       // lower case, no user, no port
  std::string path;       // from the first "/", "?" or "#"
};

bool Split(const std::string& url, UrlParts* parts) {
  size_t colon = url.find("://");
  if (colon == std::string::npos || colon == 0) return false;
  parts->scheme = Lower(url.substr(0, colon));
  size_t start = colon + 3;
  size_t end = url.find_first_of("/?#", start);
  if (end == std::string::npos) end = url.size();
  parts->authority = url.substr(start, end - start);
  parts->path = url.substr(end);
  std::string host = parts->authority;
  size_t at = host.rfind('@');
  if (at != std::string::npos) host.erase(0, at + 1);
  if (!host.empty() && host[0] == '[') {
    size_t close = host.find(']');
    host = close == std::string::npos ? host : host.substr(0, close + 1);
  } else {
    host = host.substr(0, host.find(':'));
  }
  parts->host = Lower(host);
  return !parts->host.empty();
}

}  // namespace

std::string RedirectTarget(const std::string& from, const std::string& location) {
  UrlParts base;
  if (!Split(from, &base)) return std::string();
  std::string target;
  if (location.find("://") != std::string::npos) {
    target = location;
  } else if (location.compare(0, 2, "//") == 0) {
    target = base.scheme + ":" + location;
  } else if (!location.empty() && location[0] == '/') {
    target = base.scheme + "://" + base.authority + location;
  } else {
    // Relative to the directory of the current path, its query left out.
    std::string dir = base.path.substr(0, base.path.find_first_of("?#"));
    dir = dir.substr(0, dir.rfind('/') + 1);
    target = base.scheme + "://" + base.authority + (dir.empty() ? "/" : dir) + location;
  }
  UrlParts to;
  if (!Split(target, &to) || (to.scheme != "http" && to.scheme != "https") || to.host != base.host)
    return std::string();
  return target;
}

}  // namespace platform
