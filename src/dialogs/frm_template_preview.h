// The template gallery: every installed template as a thumbnail of its
// preview picture, for choosing one by OK or a double-click.
//
// A template's picture is <template folder>NAME/preview.gif; a template
// without one shows the shared <template folder>nopreview.gif. When neither
// can be read (a missing shared picture, a damaged file), the thumbnail is a
// plain placeholder that names the template, so a broken installation still
// opens the gallery.
#pragma once

#include <QDialog>
#include <QIcon>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>

class QListWidget;
class QPushButton;
class QShowEvent;

namespace tessarine::dialogs {

// The box every thumbnail is fitted into, in device-independent pixels.
inline constexpr double kThumbnailWidth = 300;
inline constexpr double kThumbnailHeight = 200;

// Where a picture of natural size `picture` lands in `box`: scaled down to
// the box height first, then to the box width (both from the natural size),
// never enlarged, aspect ratio kept, centred. An empty picture gives an empty
// rectangle at the box's centre.
QRectF ThumbnailRect(QSizeF picture, QSizeF box = {kThumbnailWidth, kThumbnailHeight});

// The thumbnail of one template as the gallery shows it, composed at every
// device pixel ratio of the screens so it is sharp on high-DPI screens.
// `template_folder` is <data>/template/ with its final "/".
QIcon TemplateThumbnail(const QString& template_folder, const QString& name);

class FrmTemplatePreview : public QDialog {
  Q_OBJECT

 public:
  // `templates`: the names in the order the main window lists them.
  // `current`: the main window's choice, selected at first when listed.
  FrmTemplatePreview(const QStringList& templates, const QString& template_folder,
                     QWidget* parent = nullptr, const QString& current = QString());

  // The chosen template's name once the dialog was accepted; empty otherwise.
  QString SelectedTemplate() const { return selected_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void Choose(const QString& name);
  void UpdateEnabled();

  QListWidget* ListView1_ = nullptr;
  QPushButton* cmdOK_ = nullptr;
  QPushButton* cmdExit_ = nullptr;
  QString selected_;
};

}  // namespace tessarine::dialogs
