// The about box: product, version, licence.
#pragma once

#include <QDialog>

namespace tessarine::app {

// The version the programs report ("0.1.0").
QString ProductVersion();

class FrmAbout : public QDialog {
  Q_OBJECT

 public:
  explicit FrmAbout(QWidget* parent = nullptr);
};

}  // namespace tessarine::app
