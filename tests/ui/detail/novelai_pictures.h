// Real PNG files for the inspector's tests and screens: an image of the given size (a soft
// gradient, so previews show something) carrying NovelAI's text chunks (Software, Source,
// Comment JSON with prompts, settings and character captions), written with Qt's own PNG writer.
#pragma once

#include <QColor>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLinearGradient>
#include <QPainter>
#include <QString>
#include <filesystem>
#include <string>
#include <vector>

namespace lorvex::ui::testing {

struct NovelAIPicture {
  std::string prompt = "1girl, solo, long hair, smile, looking at viewer, outdoors, cherry blossoms";
  std::string negativePrompt = "lowres, bad anatomy";
  std::vector<std::pair<std::string, std::pair<double, double>>> characters = {
      {"girl, red hair", {0.5, 0.25}}};
  int width = 832;
  int height = 1216;
  long long seed = 1234567;
  QColor from = QColor(246, 185, 204);
  QColor to = QColor(120, 152, 214);
  // A broken comment: the software and source still say NovelAI, the JSON does not parse.
  bool brokenComment = false;
  // No NovelAI chunks at all, only an unrelated text chunk.
  bool rawTextOnly = false;
};

inline QString novelAIComment(const NovelAIPicture& picture) {
  QJsonArray captions;
  for (const auto& [caption, center] : picture.characters) {
    captions.append(
        QJsonObject{{"char_caption", QString::fromStdString(caption)},
                    {"centers", QJsonArray{QJsonObject{{"x", center.first}, {"y", center.second}}}}});
  }
  const QJsonObject comment{
      {"prompt", QString::fromStdString(picture.prompt)},
      {"uc", QString::fromStdString(picture.negativePrompt)},
      {"steps", 28},
      {"height", picture.height},
      {"width", picture.width},
      {"scale", 5.5},
      {"seed", static_cast<double>(picture.seed)},
      {"sampler", "k_euler_ancestral"},
      {"noise_schedule", "karras"},
      {"request_type", "PromptGenerateRequest"},
      {"version", 1},
      {"v4_prompt",
       QJsonObject{{"caption", QJsonObject{{"base_caption", QString::fromStdString(picture.prompt)},
                                           {"char_captions", captions}}}}},
  };
  return QString::fromUtf8(QJsonDocument(comment).toJson(QJsonDocument::Compact));
}

// Writes the picture at `path` (downscaled 4x: the pixels are not what the tests look at, the
// recorded size is). Returns whether Qt wrote it.
inline bool writeNovelAIPicture(const std::filesystem::path& path, const NovelAIPicture& picture) {
  QImage image(picture.width / 4, picture.height / 4, QImage::Format_RGB32);
  QPainter painter(&image);
  QLinearGradient gradient(0, 0, image.width(), image.height());
  gradient.setColorAt(0, picture.from);
  gradient.setColorAt(1, picture.to);
  painter.fillRect(image.rect(), gradient);
  painter.setBrush(QColor(255, 255, 255, 120));
  painter.setPen(Qt::NoPen);
  painter.drawEllipse(QPointF(image.width() * 0.5, image.height() * 0.3), image.width() * 0.18,
                      image.width() * 0.18);
  painter.end();
  if (picture.rawTextOnly) {
    image.setText("parameters-note", "exported by an unknown tool");
  } else {
    image.setText("Software", "NovelAI");
    image.setText("Source", "NovelAI Diffusion V4.5 4BDE2A90");
    image.setText("Generation time", "5.5");
    image.setText("Comment", picture.brokenComment ? QStringLiteral("{\"prompt\": \"1girl, unfinished")
                                                   : novelAIComment(picture));
  }
  return image.save(QString::fromStdString(path.string()), "PNG");
}

}  // namespace lorvex::ui::testing
