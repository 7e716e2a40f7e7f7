#pragma once
// A request body assembled from pieces: short texts it owns (multipart boundaries, part heads,
// form fields) and large blocks it only refers to (the files of a multipart POST), so an upload
// is never copied into a second buffer before it goes out.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace drovane {

class RequestBody {
 public:
  // Copies text.
  void Append(std::string_view text);
  // Refers to bytes without copying them; they must stay unchanged while the body is used.
  void AppendBorrowed(std::string_view bytes);

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  void clear();

  // The pieces in order; valid until the body changes.
  std::vector<std::string_view> Pieces() const;
  // The whole body as one text (for tests and small bodies).
  std::string ToString() const;

 private:
  struct Piece {
    const char* borrowed;  // null: the piece lies in text_ at offset
    std::size_t offset;
    std::size_t length;
  };
  std::string text_;
  std::vector<Piece> pieces_;
  std::size_t size_ = 0;
};

// The views covering bytes [offset, offset + limit) of the concatenation of pieces (fewer at
// the end of the data).
std::vector<std::string_view> SliceOfPieces(const std::vector<std::string_view>& pieces,
                                            std::size_t offset, std::size_t limit);

}  // namespace drovane
