// The template gallery: thumbnail geometry, the pictures each template shows
// (its own, the shared fallback, the placeholder when both are missing or
// damaged), and how OK, double-click and Cancel answer.
#include "dialogs/frm_template_preview.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include "dialogs/widgets.h"
#include "gui_test_support.h"
#include "support/files.h"

using tessarine::dialogs::FrmTemplatePreview;
using tessarine::dialogs::TemplateThumbnail;
using tessarine::dialogs::ThumbnailRect;
using tessarine::testing::Control;

namespace {

constexpr QRgb kRed = 0xffd02020;
constexpr QRgb kBlue = 0xff2040c0;

// Qt writes no GIF; it reads a picture by its content, so a PNG under the
// name preview.gif serves.
void WritePicture(const QString& path, QSize size, QRgb colour) {
  QDir().mkpath(path.left(path.lastIndexOf('/')));
  QImage image(size, QImage::Format_RGB32);
  image.fill(colour);
  QVERIFY(image.save(path, "PNG"));
}

void WriteBytes(const QString& path, const QByteArray& bytes) {
  QDir().mkpath(path.left(path.lastIndexOf('/')));
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(bytes);
}

QImage Thumbnail(const QString& folder, const QString& name) {
  return TemplateThumbnail(folder, name).pixmap(QSize(300, 200), 1.0).toImage();
}

QImage ItemThumbnail(QListWidget* list, int row) {
  return list->item(row)->icon().pixmap(QSize(300, 200), 1.0).toImage();
}

int OpaquePixels(const QImage& image) {
  int count = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) count += qAlpha(image.pixel(x, y)) > 0 ? 1 : 0;
  }
  return count;
}

}  // namespace

class FrmTemplatePreviewTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void ThumbnailGeometry_data();
  void ThumbnailGeometry();
  void ThumbnailIsDrawnWhereTheGeometrySays();
  void GalleryListsTemplatesInOrderWithTheirPictures();
  void MissingSharedPictureGivesANamedPlaceholder();
  void EmptyListGivesEmptyGallery();
  void OkReturnsThePreselectedTemplate();
  void OkReturnsTheClickedTemplate();
  void DoubleClickReturnsTheTemplate();
  void CancelReturnsNothing();
  void OkIsOffWithoutSelection();
  void WindowTakesItsNameCaptionAndTheParentsIcon();
  void ShippedTemplatesHaveRealPreviews();

 private:
  QString folder_;  // alpha: own picture; beta: none; gamma: damaged; nopreview.gif blue
};

void FrmTemplatePreviewTest::initTestCase() {
  folder_ = tessarine::testing::TempFolder();
  WritePicture(folder_ + "alpha/preview.gif", {600, 100}, kRed);
  QDir().mkpath(folder_ + "beta");
  WriteBytes(folder_ + "gamma/preview.gif", "GIF89a but not really a picture");
  WritePicture(folder_ + "nopreview.gif", {300, 200}, kBlue);
}

void FrmTemplatePreviewTest::ThumbnailGeometry_data() {
  QTest::addColumn<QSizeF>("picture");
  QTest::addColumn<QRectF>("expected");
  QTest::newRow("wide: width bound, centred vertically")
      << QSizeF(600, 100) << QRectF(0, 75, 300, 50);
  QTest::newRow("tall: height bound, centred horizontally")
      << QSizeF(150, 400) << QRectF(112.5, 0, 75, 200);
  QTest::newRow("small: not enlarged") << QSizeF(100, 80) << QRectF(100, 60, 100, 80);
  QTest::newRow("exact box") << QSizeF(300, 200) << QRectF(0, 0, 300, 200);
  // Height step gives 450 x 200, still too wide: the width step starts over
  // from the natural size.
  QTest::newRow("both bounds") << QSizeF(900, 400) << QRectF(0, 100 - 200.0 / 3, 300, 400.0 / 3);
  QTest::newRow("square") << QSizeF(1000, 1000) << QRectF(50, 0, 200, 200);
  QTest::newRow("empty picture") << QSizeF(0, 0) << QRectF(150, 100, 0, 0);
}

void FrmTemplatePreviewTest::ThumbnailGeometry() {
  QFETCH(QSizeF, picture);
  QFETCH(QRectF, expected);
  QCOMPARE(ThumbnailRect(picture), expected);
}

void FrmTemplatePreviewTest::ThumbnailIsDrawnWhereTheGeometrySays() {
  const QImage thumb = Thumbnail(folder_, "alpha");  // 600 x 100 -> 300 x 50 at top 75
  QCOMPARE(thumb.size(), QSize(300, 200));
  QCOMPARE(thumb.pixel(150, 76), kRed);
  QCOMPARE(thumb.pixel(0, 100), kRed);
  QCOMPARE(thumb.pixel(299, 123), kRed);
  QCOMPARE(qAlpha(thumb.pixel(150, 74)), 0);
  QCOMPARE(qAlpha(thumb.pixel(150, 125)), 0);
}

void FrmTemplatePreviewTest::GalleryListsTemplatesInOrderWithTheirPictures() {
  FrmTemplatePreview dialog({"gamma", "alpha", "beta"}, folder_);
  auto* list = Control<QListWidget>(&dialog, "ListView1");
  QVERIFY(list != nullptr);
  QCOMPARE(list->viewMode(), QListView::IconMode);
  QCOMPARE(list->count(), 3);
  const QStringList names{list->item(0)->text(), list->item(1)->text(), list->item(2)->text()};
  QCOMPARE(names, QStringList({"gamma", "alpha", "beta"}));

  QCOMPARE(ItemThumbnail(list, 0).pixel(150, 100), kBlue);  // damaged: the shared picture
  QCOMPARE(ItemThumbnail(list, 1).pixel(150, 100), kRed);   // its own
  QCOMPARE(ItemThumbnail(list, 2).pixel(150, 100), kBlue);  // none: the shared picture
}

void FrmTemplatePreviewTest::MissingSharedPictureGivesANamedPlaceholder() {
  const QString folder = tessarine::testing::TempFolder();
  QDir().mkpath(folder + "plain");
  WriteBytes(folder + "broken/preview.gif", QByteArray(64, '\0'));

  const QImage plain = Thumbnail(folder, "plain");
  const QImage broken = Thumbnail(folder, "broken");
  QCOMPARE(plain.size(), QSize(300, 200));
  QVERIFY(OpaquePixels(plain) > 300 * 200 / 2);  // the placeholder fills the box
  // The name is drawn on it, so two templates' placeholders differ.
  QVERIFY(plain != broken);

  FrmTemplatePreview dialog({"plain", "broken"}, folder);
  QCOMPARE(Control<QListWidget>(&dialog, "ListView1")->count(), 2);
  tessarine::testing::SaveScreenshot(&dialog, "template_gallery_placeholders");
}

void FrmTemplatePreviewTest::EmptyListGivesEmptyGallery() {
  FrmTemplatePreview dialog({}, folder_, nullptr, "alpha");
  QCOMPARE(Control<QListWidget>(&dialog, "ListView1")->count(), 0);
  QVERIFY(!Control<QPushButton>(&dialog, "cmdOK")->isEnabled());
}

void FrmTemplatePreviewTest::OkReturnsThePreselectedTemplate() {
  FrmTemplatePreview dialog({"alpha", "beta", "gamma"}, folder_, nullptr, "beta");
  tessarine::testing::WhenModalShown([](QWidget* shown) {
    QTest::mouseClick(Control<QPushButton>(shown, "cmdOK"), Qt::LeftButton);
  });
  QCOMPARE(dialog.exec(), int(QDialog::Accepted));
  QCOMPARE(dialog.SelectedTemplate(), QString("beta"));
}

void FrmTemplatePreviewTest::OkReturnsTheClickedTemplate() {
  FrmTemplatePreview dialog({"alpha", "beta", "gamma"}, folder_, nullptr, "beta");
  dialog.show();
  QVERIFY(QTest::qWaitForWindowExposed(&dialog));
  auto* list = Control<QListWidget>(&dialog, "ListView1");
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                    list->visualItemRect(list->item(2)).center());
  QCOMPARE(list->selectedItems().size(), 1);
  QTest::mouseClick(Control<QPushButton>(&dialog, "cmdOK"), Qt::LeftButton);
  QCOMPARE(dialog.result(), int(QDialog::Accepted));
  QCOMPARE(dialog.SelectedTemplate(), QString("gamma"));
}

void FrmTemplatePreviewTest::DoubleClickReturnsTheTemplate() {
  FrmTemplatePreview dialog({"alpha", "beta"}, folder_);
  dialog.show();
  QVERIFY(QTest::qWaitForWindowExposed(&dialog));
  auto* list = Control<QListWidget>(&dialog, "ListView1");
  // A double-click starts as a click: the view opens an item only when the
  // second press lands on the item the first one pressed.
  const QPoint centre = list->visualItemRect(list->item(1)).center();
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, centre);
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, centre);
  QCOMPARE(dialog.result(), int(QDialog::Accepted));
  QCOMPARE(dialog.SelectedTemplate(), QString("beta"));
  QVERIFY(!dialog.isVisible());
}

void FrmTemplatePreviewTest::CancelReturnsNothing() {
  FrmTemplatePreview dialog({"alpha", "beta"}, folder_, nullptr, "alpha");
  tessarine::testing::WhenModalShown([](QWidget* shown) {
    QTest::mouseClick(Control<QPushButton>(shown, "cmdExit"), Qt::LeftButton);
  });
  QCOMPARE(dialog.exec(), int(QDialog::Rejected));
  QVERIFY(dialog.SelectedTemplate().isEmpty());
}

// Without a `current`, or with one that is not listed, nothing is selected: OK then
// cannot hand back an empty name, and becomes available once one is picked.
void FrmTemplatePreviewTest::OkIsOffWithoutSelection() {
  for (const QString& current : {QString(), QString("removed")}) {
    FrmTemplatePreview dialog({"alpha", "beta"}, folder_, nullptr, current);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto* list = Control<QListWidget>(&dialog, "ListView1");
    auto* ok = Control<QPushButton>(&dialog, "cmdOK");
    QVERIFY(list->selectedItems().isEmpty());
    QVERIFY(!ok->isEnabled());
    QTest::mouseClick(ok, Qt::LeftButton);
    QTest::keyClick(list, Qt::Key_Return);
    QVERIFY(dialog.isVisible());
    QVERIFY(dialog.SelectedTemplate().isEmpty());

    list->item(0)->setSelected(true);
    QVERIFY(ok->isEnabled());
  }
}

void FrmTemplatePreviewTest::WindowTakesItsNameCaptionAndTheParentsIcon() {
  QWidget main_window;
  QPixmap icon(32, 32);
  icon.fill(Qt::green);
  main_window.setWindowIcon(QIcon(icon));
  FrmTemplatePreview dialog({"alpha"}, folder_, &main_window);
  QCOMPARE(dialog.objectName(), QString("frmTemplatePreview"));
  QCOMPARE(dialog.windowTitle(), QString("Tessarine - 模板预览"));
  QCOMPARE(dialog.windowIcon().cacheKey(), main_window.windowIcon().cacheKey());
  QCOMPARE(Control<QPushButton>(&dialog, "cmdOK")->text(), QString("确 定"));
  QCOMPARE(Control<QPushButton>(&dialog, "cmdExit")->text(), QString("取 消"));
}

// The templates shipped with the program, as the main window lists them:
// each has its own 300 x 200 GIF preview, and the shared fallback is there.
void FrmTemplatePreviewTest::ShippedTemplatesHaveRealPreviews() {
  const QString folder = tessarine::dialogs::Qs(tessarine::testing::SourcePath("template/"));
  QStringList names;
  for (const std::string& name :
       tessarine::support::ListSubfolders(tessarine::dialogs::Std(folder))) {
    names << tessarine::dialogs::Qs(name);
  }
  QVERIFY(names.contains("default"));
  QVERIFY(names.size() >= 2);
  QStringList pictures{"nopreview.gif"};
  for (const QString& name : names) pictures << name + "/preview.gif";
  for (const QString& picture : pictures) {
    QImageReader reader(folder + picture);
    QCOMPARE(reader.format(), QByteArray("gif"));
    QCOMPARE(reader.size(), QSize(300, 200));
  }

  FrmTemplatePreview dialog(names, folder, nullptr, "default");
  auto* list = Control<QListWidget>(&dialog, "ListView1");
  QCOMPARE(list->count(), names.size());
  QCOMPARE(list->selectedItems().value(0)->text(), QString("default"));
  tessarine::testing::SaveScreenshot(&dialog, "template_gallery");
}

QTEST_MAIN(FrmTemplatePreviewTest)
#include "frm_template_preview_test.moc"
