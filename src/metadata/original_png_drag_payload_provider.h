// Offers an image file itself for a drag out of the application — but only a NovelAI PNG that
// still carries its NovelAI comment, both according to the library record and according to the
// file on disk at the moment of the drag. Every other image gets no payload.
//
// Thread safety: the provider holds no mutable state; each call opens and closes its own file, so
// any thread may call it.
//
// Failures: none leave the provider. A missing, unreadable or special file, a file that is not a
// PNG, a damaged chunk or an I/O error all give no payload.
#pragma once

#include <optional>
#include <string>

#include "metadata/png_text_chunk_reader.h"
#include "model/generation_metadata.h"
#include "model/image_drag_payload.h"
#include "model/image_record.h"

namespace lorvex {

class ImageDragPayloadProviding {
 public:
  virtual ~ImageDragPayloadProviding() = default;
  virtual std::optional<ImageDragPayload> payload(const ImageRecord& record) const = 0;
};

class OriginalPNGDragPayloadProvider final : public ImageDragPayloadProviding {
 public:
  PNGTextChunkReader textChunkReader;

  // In order, the first failing step gives nothing: the record is not missing; its path ends in
  // ".png" (any case); the record passes hasNovelAICommentMetadata; the path names a regular file
  // (a FIFO or device named x.png could block, a directory is no image) that is readable; the file
  // passes fileStillHasNovelAIComment. The payload is the record's path.
  std::optional<ImageDragPayload> payload(const ImageRecord& record) const override;

  // A non-empty raw comment, and software exactly "NovelAI" or a source beginning with "NovelAI".
  static bool hasNovelAICommentMetadata(const GenerationMetadata& metadata);
  // Reads the file's text chunks afresh (non-blocking, regular files only): a non-empty "Comment"
  // and the same software/source test. Any error of the open or the read gives false.
  bool fileStillHasNovelAIComment(const std::string& path) const;
};

}  // namespace lorvex
