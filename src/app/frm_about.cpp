#include "app/frm_about.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "app/icons.h"

namespace tessarine::app {

QString ProductVersion() {
  return QStringLiteral(TESSARINE_VERSION);
}

FrmAbout::FrmAbout(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmAbout"));
  setWindowTitle(tr("关于 Tessarine"));
  setWindowIcon(parent != nullptr ? parent->windowIcon() : AppIcon());

  auto* icon = new QLabel;
  icon->setPixmap(AppIcon().pixmap(64, 64));
  icon->setAlignment(Qt::AlignTop);

  auto* name = new QLabel(QStringLiteral("<b style='font-size:x-large'>Tessarine</b>"));
  auto* version = new QLabel(tr("版本 %1").arg(ProductVersion()));
  version->setObjectName(QStringLiteral("lblVersion"));
  auto* what = new QLabel(tr("把 Word 文档（.docx、.doc）变成带目录、导航和树形菜单的网站。"));
  what->setWordWrap(true);
  auto* licence = new QLabel(tr("本程序以 MIT 许可证发布：可自由使用、复制、修改和分发，"
                                "但不提供任何担保。<br>基于 Qt %1 构建。")
                                 .arg(QString::fromLatin1(qVersion())));
  licence->setObjectName(QStringLiteral("lblLicence"));
  licence->setWordWrap(true);

  auto* text = new QVBoxLayout;
  text->addWidget(name);
  text->addWidget(version);
  text->addSpacing(8);
  text->addWidget(what);
  text->addSpacing(8);
  text->addWidget(licence);

  auto* top = new QHBoxLayout;
  top->addWidget(icon);
  top->addSpacing(12);
  top->addLayout(text, 1);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
  buttons->setObjectName(QStringLiteral("cmdOK"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(buttons);
  setMinimumWidth(420);
}

}  // namespace tessarine::app
