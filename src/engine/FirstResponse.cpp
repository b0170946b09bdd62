#include "engine/FirstResponse.h"

TSourceView sourceview(const std::string& body) {
  // Lines end at LF, CR LF or a lone CR, as a text file reader splits them.
  std::string text;
  text.reserve(body.size() + body.size() / 16 + 2);
  size_t i = 0;
  while (i < body.size()) {
    size_t end = body.find_first_of("\r\n", i);
    if (end == std::string::npos) end = body.size();
    text.append(body, i, end - i);
    text += "\r\n";
    if (end < body.size() && body[end] == '\r' && end + 1 < body.size() && body[end + 1] == '\n') {
      ++end;
    }
    i = end + 1;
  }
  TSourceView view;
  view.length = text.size();
  const std::string rule(44, '-');
  if (view.length > 31000) {
    view.text = "HTML Source (" + std::to_string(view.length) +
                " Bytes) truncated to 31kb by Pressbolt\r\n" + rule + "\r\n" +
                text.substr(0, 31000) + "\r\ntruncated by Pressbolt";
  } else {
    view.text =
        "HTML Source (" + std::to_string(view.length) + " Bytes)\r\n" + rule + "\r\n" + text;
  }
  size_t nul = view.text.find('\0');
  if (nul != std::string::npos) view.text.resize(nul);
  return view;
}
