// The main window on a real X server (Xvfb, started around this program by
// its test entry), with the fonts the desktop would use: a document whose
// name has no Chinese comes first, and every row is still as high as the
// Chinese rows need. The whole screen is saved as a picture.
#include <QApplication>
#include <QDir>
#include <QScreen>
#include <QTest>
#include <QTreeWidget>

#include "app/frm_main.h"
#include "app/start_up.h"
#include "fake_shell.h"
#include "gui_test_support.h"
#include "support/files.h"

class XvfbMainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    tessarine::app::NameApplication();
    tessarine::app::InstallTranslations();
  }

  void AsciiNamedFirstDocumentOnARealServer() {
    tessarine::testing::FakeShell shell;
    tessarine::app::FrmMain main(shell, tessarine::support::DataFolder());
    main.move(20, 20);
    tessarine::testing::ShowActive(&main);
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    main.AddDocuments({QStringLiteral("/home/user/docs/chatchat__release_notes.docx"),
                       QStringLiteral("/home/user/文档/用户手册.docx"),
                       QStringLiteral("/home/user/文档/常见问题.doc")});
    QTest::qWait(200);

    auto* list = main.findChild<QTreeWidget*>(QStringLiteral("lstDoc"));
    QVERIFY(list != nullptr);
    const int height = list->visualItemRect(list->topLevelItem(0)).height();
    for (int row = 1; row < list->topLevelItemCount(); ++row) {
      QCOMPARE(list->visualItemRect(list->topLevelItem(row)).height(), height);
    }
    QVERIFY2(height >= tessarine::testing::TallestLine(list->font()),
             qPrintable(QString::number(height)));

    QDir().mkpath(QStringLiteral(TESSARINE_SCREENSHOT_DIR));
    const QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(0);
    QVERIFY(!screen.isNull());
    QVERIFY(screen.save(QStringLiteral(TESSARINE_SCREENSHOT_DIR "/xvfb_main_window.png")));
  }
};

QTEST_MAIN(XvfbMainWindowTest)
#include "xvfb_main_window_test.moc"
