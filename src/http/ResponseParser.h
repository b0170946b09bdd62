#pragma once
// TResponseParser: the framing of one HTTP/1.0 response, without a socket. Bytes go in (the
// client reads them into room() and commits them); what comes out is taken piece by piece with
// next(): the status line, header lines, the end of the header or the start of a header-less
// document, and the document bytes that came with them. Here too: what a header may cost (a line
// longer than the buffer is cut, the kept header lines are bounded in all) and what the close of
// the connection makes of the response (its end, a cut header, or a body short of its
// Content-Length). Events, relocations and the connection stay with the client, which checks
// its own state between pieces: a handler may end or restart the exchange in the middle of a
// read.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "http/HttpLines.h"

class TResponseParser {
 public:
  // A header line longer than this is cut (see TResponseParser::cutkept).
  static constexpr int MaxLine = TReceiveBuffer::Capacity;
  // Header lines kept per request, in bytes with the cost of keeping each line.
  static constexpr size_t MaxKeptBytes = 32 * 1024;
  // Error of a close in the middle of the header, and of one before the body reached its
  // Content-Length (outside the codes that platform errors map to: 10000 + errno at most).
  static constexpr uint16_t HeaderCutError = 10101;
  static constexpr uint16_t ShortBodyError = 12001;

  enum TPiece : uint8_t {
    pNone,       // nothing more until the next read
    pStatus,     // a status line with a code (status(), reason())
    pField,      // a header field (field(), value())
    pLine,       // any other non-empty header line
    pBadNumber,  // a status line or Content-Length whose number is not one: kept, not read
    pHeaderEnd,  // the empty line: the header is complete
    pDocument,   // a header-less document starts with this line (it is its first chunk)
    pDocLine,    // a complete line behind a header-less document's first, in the same read
    pBody        // document bytes are buffered: takebody() hands them over
  };
  // The header fields the client reads; every other name is tOther.
  enum TField : uint8_t { tOther, tLocation, tContentLength, tContentType, tAuthenticate };

  // ---- Exchange ----
  // A request starts: nothing of an earlier one (bytes, the header's cost, an overflow) stays.
  void newrequest();
  // A connection's response is expected: a fresh header.
  void begin();
  // The buffer's storage goes back while no byte waits in it (see TReceiveBuffer::Release).
  void release() { buffer_.Release(); }
  // Drops every buffered byte (the rest of a response the client no longer reads).
  void clear() { buffer_.Clear(); }

  // ---- Bytes in ----
  // Where the next read goes and how many bytes fit. nullptr when nothing fits (a buffer full of
  // an unfinished line that cannot be cut): the response is read no further (overflowed()).
  char* room(int& room);
  // count bytes (at most the room given) arrived there.
  void commit(int count) { buffer_.Commit(count); }
  // Whether a read may bypass the buffer: the document is being read and nothing waits.
  bool direct() const { return phase_ == phBody && buffer_.Count() == 0 && !doclines_; }
  bool overflowed() const { return overflowed_; }
  bool inheader() const { return phase_ == phHeader; }
  bool inbody() const { return phase_ == phBody; }
  int buffered() const { return buffer_.Count(); }

  // ---- Pieces out ----
  // The next piece of what was read. Header lines and document lines are placed in line
  // (without their line end; a cut line is followed by a note saying so).
  TPiece next(std::string& line);
  // The parts of the last pStatus or pField line, as far as it was kept; views into the line.
  int status() const { return status_; }
  std::string_view reason() const { return value_; }
  TField field() const { return field_; }
  std::string_view value() const { return value_; }
  // The kept part's length of the last header line when it was cut, else npos. A cut line's
  // value is no whole value (a cut location must not be followed).
  size_t cutkept() const { return cutkept_; }
  // The last Content-Length of this response; -1 when none came.
  int64_t contentlength() const { return contentlength_; }
  // After pHeaderEnd: the document begins. No body follows a HEAD, 1xx, 204 or 304, whatever
  // length was announced.
  void startbody(bool head, int status);
  // The buffered document bytes into to (room for MaxLine + 1), with a zero byte behind; their
  // number (counted() counts them once delivered). A copy: a handler of the chunk may start the
  // next exchange, which reads into the buffer.
  int takebody(char* to);
  // Document bytes delivered (every chunk, whichever way it came).
  void counted(int64_t bytes) { bodybytes_ += bytes; }
  // Lines of this response's header so far, the empty one and a document's first included.
  int64_t headerlines() const { return headerlines_; }

  // ---- What a response may cost ----
  enum TKeep : uint8_t { kKeep, kDrop, kDropFirst };
  // Whether n more bytes of header lines, kept at a cost of overhead bytes each, may be kept;
  // counts them when so. kDropFirst the first time they may not: the client then says so once.
  TKeep keep(size_t n, size_t overhead) {
    // Room is left for the note that says the rest was not kept.
    constexpr size_t kNoteRoom = 128;
    if (keptbytes_ + n + overhead + kNoteRoom > MaxKeptBytes) [[unlikely]] {
      if (keptnoted_) return kDrop;
      keptnoted_ = true;
      return kDropFirst;
    }
    keptbytes_ += n + overhead;
    return kKeep;
  }

  // ---- The end ----
  // The server closed the connection while the header was still being read: the buffered text
  // of a header-less document that ends in its first line is that line (true; next() gives it as
  // pDocument, else pNone).
  TPiece closingdocument(std::string& line);
  // What the server's close makes of this response, for a close the client did not make itself:
  // 0 when it ends the response, else the error (a reset's own code, HeaderCutError,
  // ShortBodyError) with its reason. A header ends only once complete; a plain close then ends
  // the document unless it came before the announced length; a reset fails it unless the whole
  // announced body had arrived.
  uint16_t closed(uint16_t reset, std::string& reason) const;
  // The body bytes counted and the length they had to reach (-1: none due).
  int64_t bodybytes() const { return bodybytes_; }
  int64_t bodylength() const { return bodylength_; }

 private:
  enum TPhase : uint8_t { phHeader, phBody };

  TPiece headerline(std::string& line);
  void startcut();
  bool endcut(std::string& line);

  // Members ordered for size: a load test keeps one parser per user.
  TReceiveBuffer buffer_;
  int64_t headerlines_ = 0;  // lines of this response's header
  // A header line being cut: its kept part, the bytes dropped so far, the kept bytes of the line
  // being handed out, and the last byte seen.
  std::string cuttext_;
  int64_t cutdropped_ = 0;
  size_t cutkept_ = std::string::npos;
  std::string_view value_;
  int64_t contentlength_ = -1;
  int64_t bodylength_ = -1;  // the body due after the header; -1 when none is
  int64_t bodybytes_ = 0;
  size_t keptbytes_ = 0;
  int status_ = 0;
  TPhase phase_ = phHeader;
  TField field_ = tOther;
  char cutlast_ = 0;
  bool cutting_ = false;
  bool doclines_ = false;    // a header-less document began: its buffered lines come one by one
  bool overflowed_ = false;  // the buffer ran full of a line: nothing more is read
  bool keptnoted_ = false;
};
