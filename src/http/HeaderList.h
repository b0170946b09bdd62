#pragma once
// THeaderList: the header lines of a response, kept one after another in one block of text. A
// response brings about ten lines, and a heap block for each cost more than all their parsing; a
// load test receives thousands of responses a second. Where each line ends is kept in the same
// block, so a response takes one heap block in all, and a list that goes gives a block of the
// usual size to the next list of its thread. Reads as a list of texts (string_view);
// converts to std::vector<std::string> for callers that want copies of their own.

#include <cstddef>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class THeaderList {
 public:
  class const_iterator {
   public:
    using iterator_category = std::random_access_iterator_tag;
    using value_type = std::string_view;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = std::string_view;

    const_iterator() = default;
    const_iterator(const THeaderList* list, size_t i) : list_(list), i_(i) {}
    std::string_view operator*() const { return (*list_)[i_]; }
    std::string_view operator[](difference_type n) const { return (*list_)[size_t(i_ + n)]; }
    const_iterator& operator++() { return ++i_, *this; }
    const_iterator operator++(int) { return {list_, i_++}; }
    const_iterator& operator--() { return --i_, *this; }
    const_iterator operator--(int) { return {list_, i_--}; }
    const_iterator& operator+=(difference_type n) {
      return i_ = size_t(difference_type(i_) + n), *this;
    }
    const_iterator& operator-=(difference_type n) { return *this += -n; }
    friend const_iterator operator+(const_iterator it, difference_type n) { return it += n; }
    friend const_iterator operator+(difference_type n, const_iterator it) { return it += n; }
    friend const_iterator operator-(const_iterator it, difference_type n) { return it -= n; }
    friend difference_type operator-(const const_iterator& a, const const_iterator& b) {
      return difference_type(a.i_) - difference_type(b.i_);
    }
    friend bool operator==(const const_iterator& a, const const_iterator& b) {
      return a.i_ == b.i_;
    }
    friend auto operator<=>(const const_iterator& a, const const_iterator& b) {
      return a.i_ <=> b.i_;
    }

   private:
    const THeaderList* list_ = nullptr;
    size_t i_ = 0;
  };
  using iterator = const_iterator;
  using value_type = std::string_view;
  using size_type = size_t;

  THeaderList() = default;
  THeaderList(std::initializer_list<std::string_view> lines);
  THeaderList(const THeaderList& other);
  THeaderList(THeaderList&& other) noexcept;
  THeaderList& operator=(const THeaderList& other);
  THeaderList& operator=(THeaderList&& other) noexcept;
  ~THeaderList();

  size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  std::string_view operator[](size_t i) const {
    size_t begin = i == 0 ? 0 : block_[i - 1];
    return std::string_view(text() + begin, block_[i] - begin);
  }
  std::string_view front() const { return (*this)[0]; }
  std::string_view back() const { return (*this)[size() - 1]; }
  const_iterator begin() const { return {this, 0}; }
  const_iterator end() const { return {this, size()}; }

  // Inline: it runs for every header line, and nearly always fits into the room there is.
  void push_back(std::string_view line) {
    const size_t before = used();
    const size_t after = before + line.size();
    if (count_ < endroom_ && after <= textroom_) {
      if (!line.empty()) std::memcpy(text() + before, line.data(), line.size());
      block_[count_++] = after;
      return;
    }
    grow(line);
  }
  // Empties the list; the storage stays for the next lines.
  void clear();

  // A copy as separate strings.
  operator std::vector<std::string>() const { return {begin(), end()}; }
  friend bool operator==(const THeaderList& a, const THeaderList& b);
  friend bool operator==(const THeaderList& a, const std::vector<std::string>& b);

 private:
  // Bytes of text kept.
  size_t used() const { return count_ == 0 ? 0 : block_[count_ - 1]; }
  // The text lies behind the line ends in the block.
  char* text() const { return reinterpret_cast<char*>(block_.get() + endroom_); }
  void copyfrom(const THeaderList& other);
  // push_back of a line that needs a larger block.
  void grow(std::string_view line);
  // Gives a block of the first size back to the thread's stock (else to the heap).
  void release();

  // endroom_ line ends (each where its line ends in the text), then textroom_ bytes of text.
  std::unique_ptr<size_t[]> block_;
  size_t count_ = 0;
  size_t endroom_ = 0;
  size_t textroom_ = 0;
};
