// The inspector's scenes: the empty state; a NovelAI record with its captions box open; a prompt
// and a model name without spaces, with the prompt's box and the comment JSON's open; a partial
// record with its parse warning; a record read as raw payload only; a record of more tags than a
// page of chips; the inspector with tag concepts on (one assigned); and the tag-concept management
// panel, also with a long concept name chosen. Each over the scripted service with real PNG files
// in the scene's scratch folder, so the preview shows an image.
#include <QToolButton>
#include <QVBoxLayout>
#include <QWidget>
#include <any>
#include <memory>
#include <string>
#include <vector>

#include "scene_registry.h"
#include "store/image_library_store.h"
#include "ui/detail/image_detail_panel.h"
#include "ui/detail/novelai_pictures.h"
#include "ui/detail/tag_concept_management_panel.h"
#include "ui/support/store_view_models.h"

namespace lorvex::screens {
namespace {

using ui::testing::NovelAIPicture;

ImageRecord pictureRecord(SceneContext& context, const std::string& name, const NovelAIPicture& picture) {
  const auto path = context.scratch / "pictures" / name;
  std::filesystem::create_directories(path.parent_path());
  ui::testing::writeNovelAIPicture(path, picture);
  ImageRecord record;
  record.file = {path.string(), static_cast<std::int64_t>(std::filesystem::file_size(path)), 1'700'000'000};
  return record;
}

// What the library reads from such a picture.
void novelAIMetadata(ImageRecord& record, const NovelAIPicture& picture) {
  auto& m = record.metadata;
  m.provider = GenerationMetadataProvider{"novelai", "NovelAI"};
  m.format = GenerationMetadataFormat{"novelai_png_text", "NovelAI PNG text chunks"};
  m.software = "NovelAI";
  m.source = "NovelAI Diffusion V4.5 4BDE2A90";
  m.prompt = picture.prompt;
  m.negativePrompt = picture.negativePrompt;
  m.baseCaption = picture.prompt;
  m.generationTime = 5.5;
  m.seed = picture.seed;
  m.width = picture.width;
  m.height = picture.height;
  m.steps = 28;
  m.scale = 5.5;
  m.sampler = "k_euler_ancestral";
  m.noiseSchedule = "karras";
  m.requestType = "PromptGenerateRequest";
  m.version = 1;
  m.rawCommentJSON = ui::testing::novelAIComment(picture).toStdString();
  for (const auto& [caption, center] : picture.characters) {
    m.characterCaptions.push_back({caption, {{center.first, center.second}}});
  }
  record.promptTags = {"1girl",    "solo",           "long hair", "smile", "looking at viewer",
                       "outdoors", "cherry blossoms"};
}

// The inspector over a store whose library holds `record`, focused (or nothing focused).
std::unique_ptr<QWidget> inspector(SceneContext& context, const ImageRecord& record, bool tagConcepts,
                                   bool focused = true) {
  testing::StoreOptions options;
  options.featureAvailability.isTagConceptEnabled = tagConcepts;
  ImageLibraryStore* store = context.makeFakeStoreWithResults({record}, options);
  if (!store) return nullptr;
  store->results().selection().selectSingle(focused ? std::optional<std::string>(record.file.path)
                                                    : std::nullopt);
  context.settle();
  return std::make_unique<ui::ImageDetailPanel>(ui::testing::imageDetailPanelModels(*store),
                                                &context.localization);
}

const std::vector<TagConcept> kConcepts = {
    {1, "Sakura", 42}, {2, "Red hair", 17}, {3, "Outdoors at dusk", 9}};

const bool registeredEmpty = registerScene({
    .name = "detail.empty",
    .source = SceneSource::fakeService,
    .size = QSize(380, 480),
    .build =
        [](SceneContext& context) {
          NovelAIPicture picture;
          ImageRecord record = pictureRecord(context, "a.png", picture);
          novelAIMetadata(record, picture);
          return inspector(context, record, false, false);
        },
    .afterShow = {},
});

const bool registeredNovelAI = registerScene({
    .name = "detail.novelai",
    .source = SceneSource::fakeService,
    .size = QSize(380, 1420),
    .build =
        [](SceneContext& context) {
          NovelAIPicture picture;
          picture.characters = {{"girl, red hair, green eyes", {0.3, 0.5}}, {"boy, black hair", {0.7, 0.5}}};
          ImageRecord record = pictureRecord(context, "novelai.png", picture);
          novelAIMetadata(record, picture);
          record.reviewState.favorite = true;
          return inspector(context, record, false);
        },
    .afterShow = [](SceneContext& context, QWidget& root) -> QWidget* {
      if (auto* header = root.findChild<QToolButton*>("detail.metadata.longText.characterCaptions.header")) {
        header->click();
      }
      context.settle();
      return nullptr;
    },
});

// A prompt written without spaces, as many real files have it, with its box and the comment
// JSON's box open: both break inside their long words, within the column. The model name, also
// without spaces and a little wider than its column, shows its two ends on the two lines of its
// row.
const bool registeredLongTexts = registerScene({
    .name = "detail.longTexts",
    .source = SceneSource::fakeService,
    .size = QSize(340, 1500),
    .build =
        [](SceneContext& context) {
          NovelAIPicture picture;
          picture.prompt =
              "masterpiece,best_quality,amazing_quality,very_aesthetic,absurdres,newest,1girl,solo,"
              "long_hair,looking_at_viewer,smile,cherry_blossoms,outdoors,(depth_of_field:1.2)";
          ImageRecord record = pictureRecord(context, "long-texts.png", picture);
          novelAIMetadata(record, picture);
          record.metadata.source = "waiNSFWIllustrious_v140.safetensors";
          return inspector(context, record, false);
        },
    .afterShow = [](SceneContext& context, QWidget& root) -> QWidget* {
      for (const char* box : {"prompt", "rawCommentJSON"}) {
        const QString name = QStringLiteral("detail.metadata.longText.%1.header").arg(box);
        if (auto* header = root.findChild<QToolButton*>(name)) header->click();
      }
      context.settle();
      return nullptr;
    },
});

const bool registeredPartial = registerScene({
    .name = "detail.partial",
    .source = SceneSource::fakeService,
    .size = QSize(380, 780),
    .build =
        [](SceneContext& context) {
          NovelAIPicture picture;
          picture.brokenComment = true;
          ImageRecord record = pictureRecord(context, "partial.png", picture);
          auto& m = record.metadata;
          m.provider = GenerationMetadataProvider{"novelai", "NovelAI"};
          m.format = GenerationMetadataFormat{"novelai_png_text", "NovelAI PNG text chunks"};
          m.software = "NovelAI";
          m.source = "NovelAI Diffusion V4.5 4BDE2A90";
          m.generationTime = 5.5;
          m.rawCommentJSON = "{\"prompt\": \"1girl, unfinished";
          // As the NovelAI parser stores it; shown in the interface's language.
          m.parseWarning =
              "Failed to decode NovelAI Comment JSON: unexpected end of input at line 1, column 29.";
          return inspector(context, record, false);
        },
    .afterShow = {},
});

const bool registeredRawPayload = registerScene({
    .name = "detail.rawPayload",
    .source = SceneSource::fakeService,
    .size = QSize(380, 560),
    .build =
        [](SceneContext& context) {
          NovelAIPicture picture;
          picture.rawTextOnly = true;
          ImageRecord record = pictureRecord(context, "raw.png", picture);
          record.metadata.rawTextChunks = {{"parameters-note", "exported by an unknown tool"}};
          record.metadata.rawPayloads = {
              {"png_text", "parameters-note", 0, "exported by an unknown tool", "raw", std::nullopt}};
          return inspector(context, record, false);
        },
    .afterShow = {},
});

// A record of more prompt tags than a page of chips: the inspector scrolled to the end of the
// chips, where "+N more" follows the last one.
const bool registeredManyTags = registerScene({
    .name = "detail.manyTags",
    .source = SceneSource::fakeService,
    .size = QSize(380, 700),
    .build =
        [](SceneContext& context) {
          NovelAIPicture picture;
          ImageRecord record = pictureRecord(context, "many-tags.png", picture);
          novelAIMetadata(record, picture);
          record.promptTags.clear();
          for (int i = 0; i < 1234; ++i) record.promptTags.push_back("tag " + std::to_string(i));
          return inspector(context, record, false);
        },
    .afterShow = [](SceneContext& context, QWidget& root) -> QWidget* {
      auto* panel = dynamic_cast<ui::ImageDetailPanel*>(&root);
      auto* more = root.findChild<QToolButton*>("detail.tags.prompt.more");
      if (panel && more) panel->ensureWidgetVisible(more, 0, 200);
      context.settle();
      return nullptr;
    },
});

const bool registeredConcepts = registerScene({
    .name = "detail.concepts",
    .source = SceneSource::fakeService,
    .size = QSize(380, 1320),
    .build = [](SceneContext& context) -> std::unique_ptr<QWidget> {
      NovelAIPicture picture;
      ImageRecord record = pictureRecord(context, "concepts.png", picture);
      novelAIMetadata(record, picture);
      context.harness->service->setTagConcepts(kConcepts);
      const std::string path = record.file.path;
      context.harness->service->setAnswer("tagConceptImageAssignments", [path](const testing::ServiceCall&) {
        return std::any(std::vector<TagConceptManualAssignment>{{2, path}});
      });
      return inspector(context, record, true);
    },
    .afterShow = {},
});

// The management panel as the inspector's popup shows it: 14 of padding around a 440 x 560 panel.
std::unique_ptr<QWidget> managementPanel(SceneContext& context, const std::vector<TagConcept>& concepts) {
  NovelAIPicture picture;
  ImageRecord record = pictureRecord(context, "managed.png", picture);
  novelAIMetadata(record, picture);
  context.harness->service->setTagConcepts(concepts);
  context.harness->service->setAnswer("tagConceptAliases", [](const testing::ServiceCall& call) {
    return std::any(std::vector<TagConceptAlias>{{call.number, "sakura"}, {call.number, "cherry blossoms"}});
  });
  const std::string path = record.file.path;
  context.harness->service->setAnswer("tagConceptImageAssignments", [path](const testing::ServiceCall&) {
    return std::any(std::vector<TagConceptManualAssignment>{{1, path}});
  });
  testing::StoreOptions options;
  options.featureAvailability.isTagConceptEnabled = true;
  ImageLibraryStore* store = context.makeFakeStoreWithResults({record}, options);
  if (!store) return nullptr;
  auto root = std::make_unique<QWidget>();
  auto* layout = new QVBoxLayout(root.get());
  layout->setContentsMargins(14, 14, 14, 14);
  layout->addWidget(
      new ui::TagConceptManagementPanel(store->concepts(), {path}, &context.localization, root.get()));
  return root;
}

const bool registeredManagement = registerScene({
    .name = "detail.management",
    .source = SceneSource::fakeService,
    .size = QSize(468, 588),
    .build = [](SceneContext& context) { return managementPanel(context, kConcepts); },
    .afterShow = {},
});

// The concept with the most images, chosen first, has a name far wider than the panel.
const bool registeredManagementLongName = registerScene({
    .name = "detail.managementLongName",
    .source = SceneSource::fakeService,
    .size = QSize(468, 588),
    .build =
        [](SceneContext& context) {
          std::vector<TagConcept> concepts = kConcepts;
          concepts.insert(
              concepts.begin(),
              {4, "Cherry blossom petals drifting over the river at dusk, lanterns along the bank", 64});
          return managementPanel(context, concepts);
        },
    .afterShow = {},
});

}  // namespace
}  // namespace lorvex::screens
