#include "ui/menu_separators.h"

#include <QMenu>
#include <QProxyStyle>
#include <QStyleOptionMenuItem>

namespace {
// The height of a separator in a classic menu: room for the line and a few
// pixels either side of it.
constexpr int kSeparatorHeight = 9;

class SeparatorStyle final : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override {
        QSize result = QProxyStyle::sizeFromContents(type, option, size, widget);
        const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
        if (type == CT_MenuItem && item && item->menuItemType == QStyleOptionMenuItem::Separator)
            result.setHeight(qMax(result.height(), kSeparatorHeight));
        return result;
    }
};
} // namespace

void drawAllSeparators(QMenu* menu) {
    menu->setSeparatorsCollapsible(false);
    auto* style = new SeparatorStyle;
    style->setParent(menu);
    menu->setStyle(style);
}
