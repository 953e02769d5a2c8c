#include "ui/common/accessibility_hiding.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QWidget>
#include <mutex>

namespace lorvex::ui {

namespace {

constexpr const char* kHiddenProperty = "lorvexHiddenFromAccessibility";

// The widget's usual description, with the invisible state and no children while it is hidden.
class HidableAccessibleWidget : public QAccessibleWidget {
 public:
  explicit HidableAccessibleWidget(QWidget* widget) : QAccessibleWidget(widget) {}

  QAccessible::State state() const override {
    QAccessible::State state = QAccessibleWidget::state();
    if (isHidden()) state.invisible = true;
    return state;
  }
  int childCount() const override { return isHidden() ? 0 : QAccessibleWidget::childCount(); }
  QAccessibleInterface* child(int index) const override {
    return isHidden() ? nullptr : QAccessibleWidget::child(index);
  }
  int indexOfChild(const QAccessibleInterface* child) const override {
    return isHidden() ? -1 : QAccessibleWidget::indexOfChild(child);
  }
  QAccessibleInterface* childAt(int x, int y) const override {
    return isHidden() ? nullptr : QAccessibleWidget::childAt(x, y);
  }

 private:
  bool isHidden() const { return isHiddenFromAccessibility(*widget()); }
};

QAccessibleInterface* hidableWidgetFactory(const QString&, QObject* object) {
  auto* widget = qobject_cast<QWidget*>(object);
  if (widget == nullptr || !widget->property(kHiddenProperty).isValid()) return nullptr;
  return new HidableAccessibleWidget(widget);
}

}  // namespace

void setHiddenFromAccessibility(QWidget& widget, bool hidden) {
  static std::once_flag installed;
  std::call_once(installed, [] { QAccessible::installFactory(&hidableWidgetFactory); });
  const QVariant before = widget.property(kHiddenProperty);
  widget.setProperty(kHiddenProperty, hidden);
  if (before.isValid() && before.toBool() == hidden) return;
  if (QAccessible::isActive()) {
    QAccessibleEvent event(&widget, hidden ? QAccessible::ObjectHide : QAccessible::ObjectShow);
    QAccessible::updateAccessibility(&event);
  }
}

bool isHiddenFromAccessibility(const QWidget& widget) {
  return widget.property(kHiddenProperty).toBool();
}

}  // namespace lorvex::ui
