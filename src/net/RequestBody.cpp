#include "net/RequestBody.h"

namespace drovane {

void RequestBody::Append(std::string_view text) {
  if (text.empty()) return;
  // Owned texts that follow each other form one piece, since text_ keeps them side by side.
  if (!pieces_.empty() && pieces_.back().borrowed == nullptr) {
    pieces_.back().length += text.size();
  } else {
    pieces_.push_back(Piece{nullptr, text_.size(), text.size()});
  }
  text_.append(text.data(), text.size());
  size_ += text.size();
}

void RequestBody::AppendBorrowed(std::string_view bytes) {
  if (bytes.empty()) return;
  pieces_.push_back(Piece{bytes.data(), 0, bytes.size()});
  size_ += bytes.size();
}

void RequestBody::clear() {
  text_.clear();
  text_.shrink_to_fit();
  pieces_.clear();
  size_ = 0;
}

std::vector<std::string_view> RequestBody::Pieces() const {
  std::vector<std::string_view> views;
  views.reserve(pieces_.size());
  for (const Piece& piece : pieces_) {
    views.emplace_back(piece.borrowed ? piece.borrowed : text_.data() + piece.offset, piece.length);
  }
  return views;
}

std::string RequestBody::ToString() const {
  std::string whole;
  whole.reserve(size_);
  for (std::string_view piece : Pieces()) whole.append(piece.data(), piece.size());
  return whole;
}

std::vector<std::string_view> SliceOfPieces(const std::vector<std::string_view>& pieces,
                                            std::size_t offset, std::size_t limit) {
  std::vector<std::string_view> slice;
  for (std::string_view piece : pieces) {
    if (limit == 0) break;
    if (offset >= piece.size()) {
      offset -= piece.size();
      continue;
    }
    std::string_view part = piece.substr(offset, limit);
    offset = 0;
    limit -= part.size();
    slice.push_back(part);
  }
  return slice;
}

}  // namespace drovane
