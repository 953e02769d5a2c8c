// The inspector's two title fonts, made once on first use and shared: section titles (16 px,
// semibold) and tag group titles (13 px, semibold).
//
// Thread safety: GUI thread only.
#pragma once

#include <QFont>

namespace lorvex::ui {

const QFont& detailSectionTitleFont();
const QFont& detailGroupTitleFont();

}  // namespace lorvex::ui
