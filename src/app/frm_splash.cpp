#include "app/frm_splash.h"

#include <QApplication>
#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QScreen>

#include "app/frm_about.h"
#include "app/icons.h"

namespace tessarine::app {
namespace {

QString Tr(const char* text) {
  return QCoreApplication::translate("tessarine::app::FrmSplash", text);
}

QPixmap SplashPicture() {
  const qreal ratio = QApplication::primaryScreen() != nullptr
                          ? QApplication::primaryScreen()->devicePixelRatio()
                          : 1.0;
  const QSize size(460, 240);
  QPixmap pixmap(size * ratio);
  pixmap.setDevicePixelRatio(ratio);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  QLinearGradient fill(0, 0, size.width(), size.height());
  fill.setColorAt(0, QColor(0x2b, 0x6c, 0xb0));
  fill.setColorAt(1, QColor(0x14, 0x36, 0x60));
  painter.fillRect(QRect(QPoint(0, 0), size), fill);
  painter.drawPixmap(QRect(32, 56, 96, 96), AppIcon().pixmap(QSize(96, 96) * ratio));

  painter.setPen(Qt::white);
  QFont title = painter.font();
  title.setPixelSize(40);
  title.setBold(true);
  painter.setFont(title);
  painter.drawText(QRect(150, 60, 290, 50), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("Tessarine"));
  QFont text = painter.font();
  text.setPixelSize(15);
  text.setBold(false);
  painter.setFont(text);
  painter.drawText(QRect(152, 112, 290, 24), Qt::AlignLeft | Qt::AlignVCenter,
                   Tr("Word 文档转网站"));
  painter.setPen(QColor(255, 255, 255, 170));
  painter.drawText(QRect(152, 136, 290, 24), Qt::AlignLeft | Qt::AlignVCenter,
                   Tr("版本 %1").arg(ProductVersion()));
  painter.drawText(QRect(20, size.height() - 36, size.width() - 40, 24),
                   Qt::AlignLeft | Qt::AlignVCenter, Tr("正在加载..."));
  return pixmap;
}

}  // namespace

FrmSplash::FrmSplash() : QSplashScreen(SplashPicture()) {
  setObjectName(QStringLiteral("frmSplash"));
  setWindowIcon(AppIcon());
}

}  // namespace tessarine::app
