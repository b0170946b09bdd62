#include "http/HttpRequest.h"

#include <charconv>

#include "http/HttpCodec.h"

namespace {

// The texts of the fields in a fixed order, for comparing one header's fields with another's.
constexpr size_t kTextFields = 14;
std::array<std::string_view, kTextFields> textfields(const TRequestHeaderFields& f) {
  return {f.Method,    f.Version, f.RequestTarget, f.TargetHost,      f.Sender,
          f.Reference, f.Agent,   f.Cookie,        f.ContentTypePost, f.Username,
          f.Password,  f.Proxy,   f.ProxyUsername, f.ProxyPassword};
}

std::string credentials(std::string_view user, std::string_view password) {
  std::string pair;
  pair.reserve(user.size() + 1 + password.size());
  pair.append(user).append(":").append(password);
  return EncodeBase64(pair);
}

}  // namespace

TRequestHeaderLines::TRequestHeaderLines(const TRequestHeaderFields& f) {
  text_.reserve(128 + f.RequestTarget.size() + f.Cookie.size());
  const bool post = f.Method == "POST";
  text_.append(f.Method).append(" ").append(f.RequestTarget).append(" HTTP/").append(f.Version);
  ends_[count_++] = text_.size();
  if (!f.Sender.empty()) Add("From: ", f.Sender);
  if (!f.Reference.empty()) Add("Referer: ", f.Reference);
  if (post && !f.ContentTypePost.empty()) Add("Content-Type: ", f.ContentTypePost);
  if (!f.Agent.empty()) Add("User-Agent: ", f.Agent);
  Add("Host: ", f.TargetHost);
  if (f.NoCache) Add("Pragma: no-cache", "");
  if (post) {
    char digits[24];
    char* end = std::to_chars(digits, digits + sizeof digits, f.PostSize).ptr;
    Add("Content-Length: ", std::string_view(digits, size_t(end - digits)));
  }
  if (f.ModifiedSince != 0) {
    Add("If-Modified-Since: ", FormatHttpDate(f.ModifiedSince) + " GMT");
  }
  if (!f.Username.empty()) Add("Authorization: Basic ", credentials(f.Username, f.Password));
  if (!f.Proxy.empty() && !f.ProxyUsername.empty()) {
    Add("Proxy-Authorization: Basic ", credentials(f.ProxyUsername, f.ProxyPassword));
  }
  if (!f.Cookie.empty()) Add("Cookie: ", f.Cookie);
}

void TRequestHeaderLines::Add(std::string_view name, std::string_view value) {
  text_.append(name).append(value);
  ends_[count_++] = text_.size();
}

std::string_view TRequestHeaderLines::Line(int i) const {
  size_t begin = i == 0 ? 0 : ends_[i - 1];
  return std::string_view(text_).substr(begin, ends_[i] - begin);
}

std::shared_ptr<const TComposedRequest> composedrequest(const TRequestHeaderFields& f) {
  struct TLast {
    std::array<std::string, kTextFields> texts;
    bool nocache = false;
    double modifiedsince = 0;
    int64_t postsize = 0;
    std::shared_ptr<const TComposedRequest> composed;
  };
  thread_local TLast last;
  const std::array<std::string_view, kTextFields> texts = textfields(f);
  bool same = last.composed != nullptr && last.nocache == f.NoCache &&
              last.modifiedsince == f.ModifiedSince && last.postsize == f.PostSize;
  for (size_t i = 0; same && i < kTextFields; ++i) same = last.texts[i] == texts[i];
  if (same) return last.composed;

  TRequestHeaderLines lines(f);
  auto composed = std::make_shared<TComposedRequest>();
  composed->lines.reserve(size_t(lines.Count()));
  for (int i = 0; i < lines.Count(); ++i) composed->lines.emplace_back(lines.Line(i));
  composed->bytes = lines.Bytes();
  for (size_t i = 0; i < kTextFields; ++i) last.texts[i].assign(texts[i]);
  last.nocache = f.NoCache;
  last.modifiedsince = f.ModifiedSince;
  last.postsize = f.PostSize;
  last.composed = std::move(composed);
  return last.composed;
}
