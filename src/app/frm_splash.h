// The picture shown while the main window loads.
#pragma once

#include <QSplashScreen>

namespace tessarine::app {

class FrmSplash : public QSplashScreen {
  Q_OBJECT

 public:
  FrmSplash();
};

}  // namespace tessarine::app
