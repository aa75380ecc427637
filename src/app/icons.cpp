#include "app/icons.h"

#include <QApplication>
#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPixmap>
#include <QStyle>
#include <utility>

namespace tessarine::app {
namespace {

QPixmap DrawAppIcon(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF square(size * 0.04, size * 0.04, size * 0.92, size * 0.92);
  QLinearGradient fill(square.topLeft(), square.bottomRight());
  fill.setColorAt(0, QColor(0x2b, 0x6c, 0xb0));
  fill.setColorAt(1, QColor(0x1a, 0x45, 0x7a));
  QPainterPath path;
  path.addRoundedRect(square, size * 0.2, size * 0.2);
  painter.fillPath(path, fill);
  // A page corner folded over: documents becoming pages.
  QPainterPath corner;
  corner.moveTo(square.right() - size * 0.3, square.top());
  corner.lineTo(square.right(), square.top() + size * 0.3);
  corner.lineTo(square.right() - size * 0.3, square.top() + size * 0.3);
  corner.closeSubpath();
  painter.fillPath(corner, QColor(255, 255, 255, 90));
  QFont font = painter.font();
  font.setBold(true);
  font.setPixelSize(static_cast<int>(size * 0.62));
  painter.setFont(font);
  painter.setPen(Qt::white);
  painter.drawText(square, Qt::AlignCenter, QStringLiteral("T"));
  return pixmap;
}

}  // namespace

QIcon AppIcon() {
  static const QIcon icon = [] {
    QIcon drawn;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) drawn.addPixmap(DrawAppIcon(size));
    return drawn;
  }();
  return icon;
}

QIcon ToolbarIcon(const QString& key) {
  static const std::pair<const char*, std::pair<const char*, QStyle::StandardPixmap>> kIcons[] = {
      {"open", {"document-open", QStyle::SP_DialogOpenButton}},
      {"new", {"document-new", QStyle::SP_FileIcon}},
      {"save", {"document-save", QStyle::SP_DialogSaveButton}},
      {"saveas", {"document-save-as", QStyle::SP_DialogSaveButton}},
      {"batch", {"system-run", QStyle::SP_FileDialogDetailedView}},
      {"help", {"help-contents", QStyle::SP_DialogHelpButton}},
      {"about", {"help-about", QStyle::SP_MessageBoxInformation}},
      {"exit", {"application-exit", QStyle::SP_DialogCloseButton}},
  };
  for (const auto& [name, icon] : kIcons) {
    if (key != QLatin1String(name)) continue;
    if (QIcon::hasThemeIcon(QLatin1String(icon.first))) {
      return QIcon::fromTheme(QLatin1String(icon.first));
    }
    QIcon standard = QApplication::style()->standardIcon(icon.second);
    if (key != QLatin1String("saveas")) return standard;
    // The style has no "save as" picture of the same size: the save picture
    // with a small pen mark, so the two buttons differ at a glance.
    QIcon marked;
    for (int size : {16, 24, 32, 48}) {
      QPixmap pixmap = standard.pixmap(size, size);
      QPainter painter(&pixmap);
      painter.setRenderHint(QPainter::Antialiasing);
      const qreal mark = size * 0.42;
      const QRectF badge(size - mark, size - mark, mark, mark);
      painter.setPen(QPen(Qt::white, size / 16.0));
      painter.setBrush(QColor(0xd9, 0x6c, 0x1e));
      painter.drawEllipse(badge.adjusted(0.5, 0.5, -0.5, -0.5));
      painter.setPen(QPen(Qt::white, size / 12.0, Qt::SolidLine, Qt::RoundCap));
      painter.drawLine(badge.bottomLeft() + QPointF(mark * 0.3, -mark * 0.3),
                       badge.topRight() + QPointF(-mark * 0.3, mark * 0.3));
      painter.end();
      marked.addPixmap(pixmap);
    }
    return marked;
  }
  return {};
}

}  // namespace tessarine::app
