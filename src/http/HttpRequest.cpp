#include "http/HttpRequest.h"

#include "http/HttpCodec.h"

std::vector<std::string> requestheaderlines(const TRequestHeaderFields& f) {
  std::vector<std::string> lines;
  const bool post = f.Method == "POST";
  lines.push_back(f.Method + " " + f.RequestTarget + " HTTP/" + f.Version);
  if (!f.Sender.empty()) lines.push_back("From: " + f.Sender);
  if (!f.Reference.empty()) lines.push_back("Referer: " + f.Reference);
  if (post && !f.ContentTypePost.empty()) lines.push_back("Content-Type: " + f.ContentTypePost);
  if (!f.Agent.empty()) lines.push_back("User-Agent: " + f.Agent);
  lines.push_back("Host: " + f.TargetHost);
  if (f.NoCache) lines.push_back("Pragma: no-cache");
  if (post) lines.push_back("Content-Length: " + std::to_string(f.PostSize));
  if (f.ModifiedSince != 0) {
    lines.push_back("If-Modified-Since: " + FormatHttpDate(f.ModifiedSince) + " GMT");
  }
  if (!f.Username.empty()) {
    lines.push_back("Authorization: Basic " + EncodeBase64(f.Username + ":" + f.Password));
  }
  if (!f.Proxy.empty() && !f.ProxyUsername.empty()) {
    lines.push_back("Proxy-Authorization: Basic " +
                    EncodeBase64(f.ProxyUsername + ":" + f.ProxyPassword));
  }
  if (!f.Cookie.empty()) lines.push_back("Cookie: " + f.Cookie);
  return lines;
}

std::string requestheadertext(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += line + "\r\n";
  text += "\r\n";
  return text;
}
