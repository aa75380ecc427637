// The batch window: start values, the enabled rules, the start command's
// checks with their corrections, the list commands, and real runs over corpus
// documents started, stopped and closed from the window.
#include "app/frm_batch.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>
#include <memory>

#include "app/start_up.h"
#include "batch/batch_settings.h"
#include "fake_shell.h"
#include "gui_test_support.h"
#include "support/files.h"

using tessarine::app::FrmBatch;
using tessarine::dialogs::Shell;
using tessarine::testing::Control;
using tessarine::testing::FakeShell;

namespace {

const QString kInvalidFolder = QStringLiteral("提示：无效的输出文件夹！");
const QString kInvalidExt = QStringLiteral("提示：无效的输出文件扩展名格式！");
const QString kNoDocuments = QStringLiteral("提示：请选择要转换的 Word 文档，至少要有一个文档！");

// The ten clean-up boxes, mode 1's then mode 2's.
const char* const kCleanupBoxes[] = {
    "chkOpt1VML",   "chkOpt1Absolute", "chkOpt1EQ", "chkOpt1Margin", "chkOpt1Space",
    "chkOpt2Image", "chkOpt2Table",    "chkOpt2EQ", "chkOpt2Indent", "chkOpt2PtoBR"};

// Three sound corpus documents, one with a Chinese name full of blanks and
// full-width punctuation.
QStringList CorpusDocuments() {
  QStringList paths;
  for (const char* name : {"chatchat__核电厂定期安全审查指南 第1部分：通用要求（征求意见稿）.docx",
                           "poi__Headers.docx", "oxsdk__equation.docx"}) {
    paths << QString::fromStdString(
        tessarine::testing::SharedPath(std::string("corpus/docx/") + name));
  }
  return paths;
}

// A click on a radio button's or check box's indicator: a click beside its
// caption misses a button that its layout made wider than the caption.
void ClickIndicator(QAbstractButton* button) {
  const int middle = button->height() / 2;
  QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(middle, middle));
}

struct Window : tessarine::testing::TestWindow<FrmBatch> {
  QCheckBox* Box(const char* name) { return Get<QCheckBox>(name); }
  QTreeWidget* List() { return Get<QTreeWidget>("lstDoc"); }

  void Add(const QStringList& paths) {
    shell.open_files_answers.append(paths);
    Button("cmdAdd")->click();
  }
  // The texts of one column of the list, top to bottom.
  QStringList Column(int column) {
    QStringList texts;
    for (int i = 0; i < List()->topLevelItemCount(); ++i) {
      texts << List()->topLevelItem(i)->text(column);
    }
    return texts;
  }
  // "1" or "0" per control, in the order given.
  QString Enabled(std::initializer_list<const char*> names) {
    QString flags;
    for (const char* name : names) {
      flags += Get<QWidget>(name)->isEnabled() ? QLatin1Char('1') : QLatin1Char('0');
    }
    return flags;
  }
  QString CleanupEnabled() {
    QString flags;
    for (const char* name : kCleanupBoxes) flags += Box(name)->isEnabled() ? '1' : '0';
    return flags;
  }
  QString CleanupTicks() {
    QString flags;
    for (const char* name : kCleanupBoxes) flags += Box(name)->isChecked() ? '1' : '0';
    return flags;
  }
};

}  // namespace

class FrmBatchTest : public QObject {
  Q_OBJECT

 private slots:
  // Qt's own texts in Chinese, as the program has them.
  void initTestCase() { tessarine::app::InstallTranslations(); }
  // Every test starts as on a first run: nothing remembered.
  void init() { QSettings().clear(); }

  void RowsHaveOneHeightWhateverTheFirstRowHolds() {
    Window w;
    w.Add({QStringLiteral("/docs/chatchat__notes_gjpqy.docx"), QStringLiteral("/docs/报告.doc")});
    QTreeWidget* list = w.List();
    const int height = list->visualItemRect(list->topLevelItem(0)).height();
    QCOMPARE(list->visualItemRect(list->topLevelItem(1)).height(), height);
    QVERIFY2(height >= tessarine::testing::TallestLine(list->font()),
             qPrintable(QString::number(height)));
  }

  // Size, place and column widths come back the next time it opens.
  void StateComesBackTheNextTime() {
    {
      Window first;
      first.frm->resize(760, 700);
      first.List()->setColumnWidth(1, 222);
      first.Button("cmdExit")->click();
    }
    Window second;
    QCOMPARE(second.frm->size(), QSize(760, 700));
    QCOMPARE(second.List()->columnWidth(1), 222);
  }

  void StartValues() {
    Window w;
    QCOMPARE(w.frm->objectName(), QStringLiteral("frmBatch"));
    QCOMPARE(w.frm->windowTitle(), QStringLiteral("Tessarine - 批量转换工具"));
    QVERIFY(!w.frm->windowIcon().isNull());
    QVERIFY(w.frm->width() >= 488 && w.frm->height() >= 468);
    QVERIFY(w.Get<QWidget>("picBgSetting")->isVisible());
    QVERIFY(!w.Get<QWidget>("picBgBuilding")->isVisible());

    // The controls hold exactly the defaults of a batch, and nothing else.
    QVERIFY(w.frm->ReadBatchSettings() == tessarine::batch::DefaultBatchSettings());
    QCOMPARE(w.CleanupEnabled(), QStringLiteral("1111100000"));
    QCOMPARE(w.Enabled({"cmdAdd", "cmdDel", "cmdEmpty", "chkOptPageMargin", "chkOptPageEffect"}),
             QStringLiteral("10000"));

    struct Combo {
      const char* name;
      QString text;
      QStringList items;
      bool editable;
    };
    const Combo combos[] = {
        {"cboCharset", "gb2312", {"gb2312", "gbk", "utf-8"}, true},
        {"cboFileEncode", "ANSI", {"ANSI", "UTF-8"}, false},
        {"cboFileNameRule", "按原文件名", {"按原文件名", "自动数字序号"}, false},
    };
    for (const Combo& combo : combos) {
      auto* box = w.Get<QComboBox>(combo.name);
      QStringList items;
      for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
      QCOMPARE(box->currentText(), combo.text);
      QCOMPARE(items, combo.items);
      QCOMPARE(box->isEditable(), combo.editable);
    }

    const QStringList headers = {QStringLiteral("序号"), QStringLiteral("文件名"),
                                 QStringLiteral("文件路径")};
    QStringList shown;
    for (int i = 0; i < w.List()->columnCount(); ++i) shown << w.List()->headerItem()->text(i);
    QCOMPARE(shown, headers);
  }

  void EnabledRulesKeepTicks() {
    Window w;
    const QString ticks = w.CleanupTicks();
    struct Case {
      int mode;
      QString enabled;
    };
    for (const Case& c : {Case{0, "0000000000"}, Case{2, "0000011111"}, Case{1, "1111100000"}}) {
      // Clicked, as the user does; the arrow keys go through the same signal.
      ClickIndicator(
          w.Get<QRadioButton>(qPrintable(QStringLiteral("optOptimizeMode%1").arg(c.mode))));
      QCOMPARE(w.CleanupEnabled(), c.enabled);
      QCOMPARE(w.CleanupTicks(), ticks);
    }
    // Mode 0 still hands the ticks to the run.
    w.Get<QRadioButton>("optOptimizeMode0")->click();
    const tessarine::batch::BatchSettings read = w.frm->ReadBatchSettings();
    QCOMPARE(read.OptimizeMode, 0);
    QVERIFY(read.Opt1VML && read.Opt2Image && !read.Opt2PtoBR);

    QCheckBox* width = w.Box("chkOptPageWidth");
    ClickIndicator(width);
    QCOMPARE(w.Enabled({"chkOptPageMargin", "chkOptPageEffect"}), QStringLiteral("11"));
    w.Box("chkOptPageMargin")->setChecked(true);
    ClickIndicator(width);
    QCOMPARE(w.Enabled({"chkOptPageMargin", "chkOptPageEffect"}), QStringLiteral("00"));
    QVERIFY(w.Box("chkOptPageMargin")->isChecked());
  }

  void OutputFolderIsShownCorrected() {
    const QString folder = tessarine::testing::TempFolder();  // ends with "/"
    QDir().mkpath(folder + QStringLiteral("sub"));
    QString backslashed = folder + QStringLiteral("sub");
    backslashed.replace(QLatin1Char('/'), QLatin1Char('\\'));
    struct Case {
      QString typed;
      QString shown;
    };
    const Case cases[] = {
        {folder + QStringLiteral("sub"), folder + QStringLiteral("sub/")},
        {QStringLiteral("  ") + folder + QStringLiteral("sub/  "), folder + QStringLiteral("sub/")},
        {backslashed, folder + QStringLiteral("sub/")},
        {backslashed + QLatin1Char('\\'), folder + QStringLiteral("sub/")},
    };
    for (const Case& c : cases) {
      Window w;
      w.Line("txtOutputDir")->setText(c.typed);
      w.Line("txtFileExt")->setText(QStringLiteral(" .html "));
      w.Button("cmdOK")->click();
      // The folder and the extension passed and show their corrections; the
      // empty list is what stops the start.
      QCOMPARE(w.Line("txtOutputDir")->text(), c.shown);
      QCOMPARE(w.Line("txtFileExt")->text(), QStringLiteral(".html"));
      QCOMPARE(w.shell.messages.size(), 1);
      QCOMPARE(w.shell.messages[0].text, kNoDocuments);
      QCOMPARE(w.shell.messages[0].icon, Shell::Icon::kError);
      QCOMPARE(QApplication::focusWidget(), w.Button("cmdAdd"));
      QVERIFY(!w.frm->IsBuilding());
    }
  }

  void InvalidFolderAndExtensionAreRefused() {
    const QString folder = tessarine::testing::TempFolder();
    struct Case {
      QString folder;
      QString ext;
      QString message;
      const char* focus;
      QString selected;
    };
    const Case cases[] = {
        {QStringLiteral("/no/such/folder"), ".htm", kInvalidFolder, "txtOutputDir",
         QStringLiteral("/no/such/folder")},
        {QStringLiteral("   "), ".htm", kInvalidFolder, "txtOutputDir", QStringLiteral("   ")},
        {folder, ".h tm", kInvalidExt, "txtFileExt", QStringLiteral(".h tm")},
        {folder, "htm", kInvalidExt, "txtFileExt", QStringLiteral("htm")},
        {folder, "", kInvalidExt, "txtFileExt", QString()},
        {folder, ".ht-m", kInvalidExt, "txtFileExt", QStringLiteral(".ht-m")},
    };
    for (const Case& c : cases) {
      Window w;
      w.Add({QStringLiteral("/docs/a.docx")});
      w.Line("txtOutputDir")->setText(c.folder);
      w.Line("txtFileExt")->setText(c.ext);
      w.Button("cmdOK")->click();
      QCOMPARE(w.shell.messages.size(), 1);
      QCOMPARE(w.shell.messages[0].text, c.message);
      QCOMPARE(w.shell.messages[0].icon, Shell::Icon::kError);
      QCOMPARE(QApplication::focusWidget(), w.Line(c.focus));
      QCOMPARE(w.Line(c.focus)->selectedText(), c.selected);
      QVERIFY(!w.frm->IsBuilding());
      QVERIFY(w.Get<QWidget>("picBgSetting")->isVisible());
    }
  }

  void ListCommandsNumberAndEnable() {
    Window w;
    w.Add({QStringLiteral("/docs/a.docx"), QStringLiteral("/docs/报告 2.doc"),
           QStringLiteral("/docs/c.d.docx")});
    QCOMPARE(w.shell.last_multiple, true);
    QVERIFY(w.shell.last_filter.contains(QStringLiteral("*.doc *.docx")));
    QCOMPARE(w.Column(0), QStringList({"1", "2", "3"}));
    QCOMPARE(w.Column(1), QStringList({"a.docx", "报告 2.doc", "c.d.docx"}));
    QCOMPARE(w.Enabled({"cmdDel", "cmdEmpty"}), QStringLiteral("11"));

    // Three more at once are numbered on from the count, in the dialog's
    // order; the same path may stand twice.
    w.Add(
        {QStringLiteral("/x/z.docx"), QStringLiteral("/x/y.docx"), QStringLiteral("/docs/a.docx")});
    QCOMPARE(w.Column(0), QStringList({"1", "2", "3", "4", "5", "6"}));
    QCOMPARE(w.Column(2).mid(3), QStringList({"/x/z.docx", "/x/y.docx", "/docs/a.docx"}));
    w.Add({});  // cancelled
    QCOMPARE(w.List()->topLevelItemCount(), 6);

    w.Button("cmdEmpty")->click();
    QCOMPARE(w.List()->topLevelItemCount(), 0);
    QCOMPARE(w.Enabled({"cmdDel", "cmdEmpty"}), QStringLiteral("00"));

    // Deleting the second of three renumbers the rest and selects the one
    // that moved up.
    w.Add({QStringLiteral("/d/1.docx"), QStringLiteral("/d/2.docx"), QStringLiteral("/d/3.docx")});
    w.List()->setCurrentItem(w.List()->topLevelItem(1));
    w.Button("cmdDel")->click();
    QCOMPARE(w.Column(0), QStringList({"1", "2"}));
    QCOMPARE(w.Column(2), QStringList({"/d/1.docx", "/d/3.docx"}));
    QCOMPARE(w.List()->currentItem(), w.List()->topLevelItem(1));
    QCOMPARE(w.Enabled({"cmdDel", "cmdEmpty"}), QStringLiteral("11"));

    // Without a selection only delete waits; a click selects again.
    w.List()->clearSelection();
    QCOMPARE(w.Enabled({"cmdDel", "cmdEmpty"}), QStringLiteral("01"));
    const QRect first = w.List()->visualItemRect(w.List()->topLevelItem(0));
    QTest::mouseClick(w.List()->viewport(), Qt::LeftButton, {}, first.center());
    QCOMPARE(w.Enabled({"cmdDel", "cmdEmpty"}), QStringLiteral("11"));

    // The Delete key in the list deletes as the button does.
    w.List()->setFocus();
    QTest::keyClick(w.List(), Qt::Key_Delete);
    QCOMPARE(w.Column(2), QStringList({"/d/3.docx"}));
    QCOMPARE(w.Column(0), QStringList({"1"}));
    w.Button("cmdDel")->click();
    QCOMPARE(w.List()->topLevelItemCount(), 0);
    QCOMPARE(w.Enabled({"cmdDel", "cmdEmpty"}), QStringLiteral("00"));
    QVERIFY(w.shell.messages.isEmpty());

    // Dropped Word documents are numbered on like added ones; other files
    // are not taken.
    QVERIFY(tessarine::testing::DropFiles(
        w.frm.get(),
        {QStringLiteral("/e/a.docx"), QStringLiteral("/e/b.pdf"), QStringLiteral("/e/c.DOC")}));
    QCOMPARE(w.Column(0), QStringList({"1", "2"}));
    QCOMPARE(w.Column(1), QStringList({"a.docx", "c.DOC"}));
    QVERIFY(!tessarine::testing::DropFiles(w.frm.get(), {QStringLiteral("/e/b.pdf")}));
  }

  void BrowseSetsFolderWithFinalSlash() {
    Window w;
    w.shell.folder_answers = {QStringLiteral("/srv/网站"), QStringLiteral("/srv/out/")};
    w.Button("cmdBrowseOutputDir")->click();
    QCOMPARE(w.Line("txtOutputDir")->text(), QStringLiteral("/srv/网站/"));
    QCOMPARE(w.shell.last_folder_title, QStringLiteral("选择输出文件夹："));
    w.Button("cmdBrowseOutputDir")->click();
    QCOMPARE(w.Line("txtOutputDir")->text(), QStringLiteral("/srv/out/"));
    w.Button("cmdBrowseOutputDir")->click();  // cancelled: unchanged
    QCOMPARE(w.Line("txtOutputDir")->text(), QStringLiteral("/srv/out/"));
  }

  void EnterStartsTheConversion() {
    Window w;
    w.Line("txtOutputDir")->setText(tessarine::testing::TempFolder());
    w.Line("txtFileExt")->setFocus();
    QVERIFY(w.Button("cmdOK")->isDefault());
    QTest::keyClick(w.Line("txtFileExt"), Qt::Key_Return);
    QCOMPARE(w.shell.messages.size(), 1);
    QCOMPARE(w.shell.messages[0].text, kNoDocuments);
  }

  void RunConvertsEveryDocument() {
    TESSARINE_QSKIP_WITHOUT_CORPUS();
    Window w;
    const QString output = tessarine::testing::TempFolder();
    w.Add(CorpusDocuments());
    QSignalSpy ended(w.frm.get(), &FrmBatch::BatchEnded);
    QList<int> values;
    connect(w.Get<QProgressBar>("ProgressBar1"), &QProgressBar::valueChanged, this,
            [&values](int v) { values << v; });
    w.Line("txtOutputDir")->setText(output);
    // Output options other than the defaults, so the pages show they reached
    // the run.
    w.Get<QComboBox>("cboCharset")->setEditText(QStringLiteral("utf-8"));
    w.Get<QComboBox>("cboFileEncode")->setCurrentIndex(1);
    w.Button("cmdOK")->click();
    QVERIFY(w.frm->IsBuilding());
    QVERIFY(w.Get<QWidget>("picBgBuilding")->isVisible());
    QVERIFY(!w.Get<QWidget>("picBgSetting")->isVisible());
    QCOMPARE(QApplication::focusWidget(), w.Button("cmdStopBuilding"));
    w.Button("cmdOK")->click();  // hidden with its panel: no second run
    QVERIFY(ended.wait(300000));

    QCOMPARE(ended.first().first().toBool(), true);
    QVERIFY(values.size() > 3);
    QVERIFY(std::is_sorted(values.begin(), values.end()));
    QCOMPARE(values.last(), 100);
    QCOMPARE(w.Get<QLabel>("lblBuildingState")->text(), QStringLiteral("完成！"));
    QCOMPARE(w.shell.messages.size(), 1);
    QCOMPARE(w.shell.messages[0].text, QStringLiteral("恭喜：所有文档转换生成成功！"));
    QCOMPARE(w.shell.messages[0].icon, Shell::Icon::kInformation);
    QVERIFY(w.Get<QWidget>("picBgSetting")->isVisible());

    // One page per document under the document's own name, each beside its
    // pictures folder, and nothing else (no working folder left behind).
    const QStringList pages =
        QDir(output).entryList({QStringLiteral("*.htm")}, QDir::Files | QDir::Hidden);
    QCOMPARE(pages,
             QStringList({"chatchat__核电厂定期安全审查指南 第1部分：通用要求（征求意见稿）.htm",
                          "oxsdk__equation.htm", "poi__Headers.htm"}));
    QCOMPARE(w.frm->last_outcome().pages.size(), size_t{3});
    const QStringList hidden =
        QDir(output)
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
            .filter(QRegularExpression(QStringLiteral("^\\.")));
    QVERIFY2(hidden.isEmpty(), qPrintable(hidden.join(' ')));
    QFile page(output + QStringLiteral("poi__Headers.htm"));
    QVERIFY(page.open(QIODevice::ReadOnly));
    const QByteArray html = page.readAll();
    QVERIFY(html.startsWith("\xEF\xBB\xBF"));
    QVERIFY(html.contains("charset=utf-8"));
    QVERIFY(!html.contains("charset=gb2312"));
    QVERIFY(html.contains("/* Generator: Tessarine */"));

    // The list and the options stay for another run.
    QCOMPARE(w.List()->topLevelItemCount(), 3);
    QCOMPARE(w.Line("txtOutputDir")->text(), output);
  }

  void StopEndsWithInterrupted() {
    TESSARINE_QSKIP_WITHOUT_CORPUS();
    Window w;
    const QString output = tessarine::testing::TempFolder();
    w.Add(CorpusDocuments());
    QSignalSpy ended(w.frm.get(), &FrmBatch::BatchEnded);
    w.Line("txtOutputDir")->setText(output);
    w.Button("cmdOK")->click();
    w.Button("cmdStopBuilding")->click();
    QVERIFY(!w.Button("cmdStopBuilding")->isEnabled());
    QVERIFY(ended.wait(300000));
    QCOMPARE(ended.first().first().toBool(), false);
    QCOMPARE(w.Get<QLabel>("lblBuildingState")->text(), QStringLiteral("中断！"));
    QCOMPARE(w.shell.messages.size(), 1);
    QCOMPARE(w.shell.messages[0].text, QStringLiteral("生成出错，原因：\r\n用户中断"));
    QCOMPARE(w.shell.messages[0].icon, Shell::Icon::kError);
    QVERIFY(w.Get<QWidget>("picBgSetting")->isVisible());
    QVERIFY(w.frm->isVisible());

    // Esc while running stops as well and keeps the window open; the stop
    // button is ready again for the new run.
    w.Button("cmdOK")->click();
    QVERIFY(w.Button("cmdStopBuilding")->isEnabled());
    QTest::keyClick(w.frm.get(), Qt::Key_Escape);
    QVERIFY(ended.wait(300000));
    QCOMPARE(ended.last().first().toBool(), false);
    QVERIFY(w.frm->isVisible());
    QCOMPARE(w.shell.messages.last().text, QStringLiteral("生成出错，原因：\r\n用户中断"));
  }

  void FailureShowsTheReason() {
    Window w;
    w.Add({QStringLiteral("/no/such/报告.docx")});
    QSignalSpy ended(w.frm.get(), &FrmBatch::BatchEnded);
    w.Line("txtOutputDir")->setText(tessarine::testing::TempFolder());
    w.Button("cmdOK")->click();
    QVERIFY(ended.wait(300000));
    QCOMPARE(ended.first().first().toBool(), false);
    QCOMPARE(w.shell.messages.size(), 1);
    QCOMPARE(w.shell.messages[0].text,
             QStringLiteral("生成出错，原因：\r\n无效的 Word 文档：\r\n/no/such/报告.docx"));
    QCOMPARE(w.shell.messages[0].icon, Shell::Icon::kError);
    QVERIFY(w.Get<QWidget>("picBgSetting")->isVisible());
  }

  void ClosingDuringARunStopsItFirst() {
    TESSARINE_QSKIP_WITHOUT_CORPUS();
    Window w;
    w.Add(CorpusDocuments());
    QSignalSpy ended(w.frm.get(), &FrmBatch::BatchEnded);
    QSignalSpy rejected(w.frm.get(), &QDialog::rejected);
    w.Line("txtOutputDir")->setText(tessarine::testing::TempFolder());
    w.Button("cmdOK")->click();
    QVERIFY(!w.frm->close());  // refused for now: the worker is still running
    QVERIFY(w.frm->isVisible());
    QVERIFY(w.frm->IsBuilding());
    QCOMPARE(rejected.size(), 0);
    QVERIFY(ended.wait(300000));
    QVERIFY(!w.frm->isVisible());
    QCOMPARE(rejected.size(), 1);
    QCOMPARE(ended.first().first().toBool(), false);
    // The stop the user asked for by closing is not reported back.
    QVERIFY(w.shell.messages.isEmpty());
  }

  void Screenshots() {
    Window w;
    w.Add({QStringLiteral("/home/user/文档/用户手册.docx"),
           QStringLiteral("/home/user/文档/release-notes.docx"),
           QStringLiteral("/home/user/文档/季度报告/常见问题解答（第二版）.doc")});
    tessarine::testing::SaveScreenshot(w.frm.get(), QStringLiteral("batch_settings"));
    w.frm->SetBatchBusy(true);
    w.Get<QProgressBar>("ProgressBar1")->setValue(42);
    tessarine::testing::SaveScreenshot(w.frm.get(), QStringLiteral("batch_building"));
    w.frm->SetBatchBusy(false);
  }
};

QTEST_MAIN(FrmBatchTest)
#include "frm_batch_test.moc"
