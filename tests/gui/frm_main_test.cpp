// The main window: start state, document list commands, settings in and out
// of the controls, project files with the save question, and real builds of
// the sample project started and stopped from the window.
#include "app/frm_main.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSplitter>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTest>
#include <QToolBar>
#include <QTreeWidget>
#include <QWindow>
#include <memory>

#include "app/frm_about.h"
#include "app/start_up.h"
#include "fake_shell.h"
#include "gui_test_support.h"
#include "project/project_file.h"
#include "support/files.h"
#include "zip_writer.h"

using tessarine::app::FrmMain;
using tessarine::dialogs::Shell;
using tessarine::project::DocumentRecord;
using tessarine::testing::Control;
using tessarine::testing::FakeShell;

namespace {

struct Window : tessarine::testing::TestWindow<FrmMain> {
  explicit Window(std::string data_folder = tessarine::support::DataFolder())
      : TestWindow(std::move(data_folder)) {}

  QAction* Action(const char* key) { return Get<QAction>(key); }

  // Adds `count` documents through the add command, as if chosen at once.
  void AddDocuments(const QStringList& paths) {
    shell.open_files_answers.append(paths);
    Button("cmdDocAdd")->click();
  }
  void AddDocuments(int count) {
    QStringList paths;
    for (int i = 1; i <= count; ++i) paths << QStringLiteral("/docs/d%1.docx").arg(i);
    AddDocuments(paths);
  }

  void Select(int position) { frm->SelectPosition(position); }

  // The enabled states of del, up, down, empty, set and building, in order.
  QString Enabled() {
    QString flags;
    for (const char* name :
         {"cmdDocDel", "cmdDocUp", "cmdDocDown", "cmdDocEmpty", "cmdDocSet", "cmdBuilding"}) {
      flags += Button(name)->isEnabled() ? QLatin1Char('1') : QLatin1Char('0');
    }
    return flags;
  }
};

// A record with every field different from a new record's.
DocumentRecord FullRecord(int n) {
  DocumentRecord record;
  int i = 0;
  for (const auto& field : tessarine::project::kDocumentFields) {
    record.*field.member = "v" + std::to_string(n) + "_" + std::to_string(i++);
  }
  return record;
}

QString SampleProjectCopy(const QString& output) {
  // The sample project names its document relative to itself: open a copy
  // from the source tree's examples/ folder with the output folder set.
  tessarine::project::ProjectSettings settings;
  const std::string source = tessarine::testing::SourcePath("examples/guide.tsn");
  if (auto status = tessarine::project::LoadProject(source, settings); !status) {
    qFatal("%s", status.message().c_str());
  }
  settings.OutputDir = output.toStdString();
  const QString copy = tessarine::testing::TempFolder() + QStringLiteral("guide.tsn");
  if (auto status = tessarine::project::SaveProject(copy.toStdString(), settings); !status) {
    qFatal("%s", status.message().c_str());
  }
  return copy;
}

}  // namespace

class FrmMainTest : public QObject {
  Q_OBJECT

 private slots:
  // Qt's own texts in Chinese, as the program has them.
  void initTestCase() { tessarine::app::InstallTranslations(); }
  // Every test starts as on a first run: nothing remembered.
  void init() { QSettings().clear(); }

  // Rows are as high as the tallest font that draws their texts, Chinese
  // fallback included, whatever the first row holds.
  void RowsHaveOneHeightWhateverTheFirstRowHolds() {
    Window w;
    w.AddDocuments({QStringLiteral("/docs/chatchat__notes_gjpqy.docx"),
                    QStringLiteral("/docs/用户手册.docx"), QStringLiteral("/docs/常见问题.doc")});
    QTreeWidget* list = w.Get<QTreeWidget>("lstDoc");
    const int height = list->visualItemRect(list->topLevelItem(0)).height();
    for (int row = 1; row < list->topLevelItemCount(); ++row) {
      QCOMPARE(list->visualItemRect(list->topLevelItem(row)).height(), height);
    }
    QVERIFY2(height >= tessarine::testing::TallestLine(list->font()),
             qPrintable(QString::number(height)));
  }

  void CaptionShowsTheFileAndUnsavedChanges() {
    Window w;
    QCOMPARE(w.frm->windowTitle(), QStringLiteral("未命名.tsn[*]"));
    QCOMPARE(w.frm->windowHandle()->title(), QStringLiteral("未命名.tsn"));
    w.Line("txtHeadTitle")->setText(QStringLiteral("站点"));
    QVERIFY(w.frm->isWindowModified());
    QCOMPARE(w.frm->windowHandle()->title(), QStringLiteral("未命名.tsn*"));
    const QString path = tessarine::testing::TempFolder() + QStringLiteral("site.tsn");
    w.shell.save_file_answers = {path};
    w.Action("save")->trigger();
    QCOMPARE(w.frm->windowHandle()->title(), QStringLiteral("site.tsn"));
    w.AddDocuments(1);  // a list change marks it too
    QCOMPARE(w.frm->windowHandle()->title(), QStringLiteral("site.tsn*"));
  }

  // What a user arranged comes back at the next start: place and size,
  // column widths, the splitter, and the projects opened last.
  void StateComesBackAtTheNextStart() {
    QStringList projects;
    for (int i = 1; i <= 9; ++i) {
      projects << tessarine::testing::TempFolder() + QStringLiteral("p%1.tsn").arg(i);
    }
    QList<int> splitter_sizes;
    {
      Window first;
      first.frm->setGeometry(40, 50, 900, 640);
      first.Get<QTreeWidget>("lstDoc")->setColumnWidth(1, 260);
      auto* splitter = first.Get<QSplitter>("splitBasic");
      splitter->setSizes({splitter->sizes().at(0) - 40, splitter->sizes().at(1) + 40});
      splitter_sizes = splitter->sizes();
      for (const QString& path : projects) {
        first.shell.save_file_answers = {path};
        first.Action("saveas")->trigger();
      }
      QVERIFY(first.frm->close());
    }
    Window second;
    QCOMPARE(second.frm->size(), QSize(900, 640));
    QCOMPARE(second.Get<QTreeWidget>("lstDoc")->columnWidth(1), 260);
    QCOMPARE(second.Get<QSplitter>("splitBasic")->sizes(), splitter_sizes);
    // The last eight, newest first, in the open button's menu.
    const QList<QAction*> recent = second.Get<QMenu>("mnuRecentProjects")->actions();
    QCOMPARE(recent.size(), 8);
    QCOMPARE(recent.first()->toolTip(), projects.last());
    QCOMPARE(recent.last()->toolTip(), projects.at(1));
    recent.at(2)->trigger();
    QCOMPARE(second.frm->windowFilePath(), projects.at(6));
    // One that is gone: said so, and it leaves the list.
    QFile::remove(projects.at(8));
    second.Get<QMenu>("mnuRecentProjects")->actions().at(1)->trigger();
    QVERIFY(second.shell.messages.last().text.contains(projects.at(8)));
    QCOMPARE(second.Get<QMenu>("mnuRecentProjects")->actions().size(), 7);
  }

  // When the desktop's opener fails, the page's path is shown instead.
  void ABrowserThatCannotStartIsToldWithThePath() {
    const QString bin = tessarine::testing::TempFolder();
    QFile opener(bin + QStringLiteral("xdg-open"));
    QVERIFY(opener.open(QIODevice::WriteOnly));
    opener.write("#!/bin/sh\necho 'no method available for opening' >&2\nexit 3\n");
    opener.close();
    opener.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", bin.toUtf8() + ':' + path);
    QString shown;
    tessarine::testing::WhenModalShown([&shown](QWidget* box) {
      shown = static_cast<QMessageBox*>(box)->text();
      box->close();
    });
    QWidget owner;
    tessarine::dialogs::DesktopShell().OpenWithShell(&owner,
                                                     QStringLiteral("/srv/site/default.htm"));
    QVERIFY(tessarine::testing::WaitUntil([&] { return !shown.isEmpty(); }, 10000));
    qputenv("PATH", path);
    QCOMPARE(shown, QStringLiteral("无法打开浏览器。请手动打开此页面：\n/srv/site/default.htm"));
  }

  void FirstStart() {
    Window w;
    QCOMPARE(w.frm->windowFilePath(), QStringLiteral("未命名.tsn"));
    QVERIFY(!w.frm->isWindowModified());
    QCOMPARE(w.Get<QTabWidget>("tabMain")->currentIndex(), 0);
    QCOMPARE(w.Get<QTreeWidget>("lstDoc")->topLevelItemCount(), 0);
    QCOMPARE(w.Enabled(), QStringLiteral("000000"));
    QVERIFY(w.Button("cmdDocAdd")->isEnabled());
    QCOMPARE(w.Line("txtOutputDir")->text().toStdString(),
             tessarine::support::DefaultOutputFolder());
    QCOMPARE(w.Line("txtFileExt")->text(), QStringLiteral(".htm"));
    QCOMPARE(w.Get<QComboBox>("cboTemplate")->currentText(), QStringLiteral("default"));
    QCOMPARE(w.Get<QComboBox>("cboCharset")->currentText(), QStringLiteral("gb2312"));
    QCOMPARE(w.Get<QComboBox>("cboFileEncode")->currentText(), QStringLiteral("ANSI"));
    QVERIFY(w.Get<QCheckBox>("chkPageNav")->isChecked());
    QVERIFY(w.Line("txtPageNavSep")->isEnabled() && w.Line("txtPageNavPreHTML")->isEnabled());
    QVERIFY(w.Get<QCheckBox>("chkCopyright")->isChecked());
    QVERIFY(w.Line("txtCopyrightHTML")->isEnabled());
    QVERIFY(w.Get<QCheckBox>("chkSiteSearch")->isChecked());
    QVERIFY(w.Line("txtPageTopLogo")->text().isEmpty());
    QCOMPARE(w.Get<QPlainTextEdit>("txtPageTopNav")->toPlainText(),
             QStringLiteral("首页|default.htm"));
    QVERIFY(!w.frm->settings().ProjectModified);

    // The toolbar: keys, captions and tips in order, separators between.
    QStringList keys;
    for (QAction* action : w.Get<QToolBar>("toolbarHead")->actions()) {
      keys << (action->isSeparator() ? QStringLiteral("|") : action->data().toString());
    }
    QCOMPARE(keys.join(QLatin1Char(' ')),
             QStringLiteral("open new save saveas | batch | help about | exit"));
    QCOMPARE(w.Action("batch")->toolTip(),
             QStringLiteral("一次性批量转换多个 Word 文档为网页格式"));
    QCOMPARE(w.Action("saveas")->text(), QStringLiteral("另存为"));
  }

  void StartUpMakesOutputFolderAndShowsWindow() {
    const QString home = tessarine::testing::TempFolder();
    QDir().mkpath(home + QStringLiteral("template/default"));
    qputenv("TESSARINE_HOME", home.toUtf8());
    FakeShell shell;
    auto main = tessarine::app::StartUp(shell);
    qunsetenv("TESSARINE_HOME");
    QVERIFY(QDir(home + QStringLiteral("output")).exists());
    QVERIFY(main->isVisible());
    QCOMPARE(Control<QLineEdit>(main.get(), "txtOutputDir")->text(),
             home + QStringLiteral("output/"));
    for (QWidget* top : QApplication::topLevelWidgets()) {
      QVERIFY(top->objectName() != QStringLiteral("frmSplash") || !top->isVisible());
    }

    // The about box names the product, its version and its licence.
    tessarine::app::FrmAbout about(main.get());
    tessarine::testing::SaveScreenshot(&about, QStringLiteral("about"));
    QString texts;
    for (QLabel* label : about.findChildren<QLabel*>()) texts += label->text();
    QVERIFY(texts.contains(QStringLiteral("Tessarine")));
    QVERIFY(texts.contains(tessarine::app::ProductVersion()));
    QVERIFY(texts.contains(QStringLiteral("MIT")));
  }

  void TemplateListHasFoldersOnly() {
    const QString data = tessarine::testing::TempFolder();
    QDir().mkpath(data + QStringLiteral("template/default"));
    QDir().mkpath(data + QStringLiteral("template/blue"));
    QFile(data + QStringLiteral("template/nopreview.gif")).open(QIODevice::WriteOnly);
    Window w(data.toStdString());
    QComboBox* templates = w.Get<QComboBox>("cboTemplate");
    QCOMPARE(templates->count(), 2);
    QCOMPARE(templates->itemText(0), QStringLiteral("blue"));
    QCOMPARE(templates->itemText(1), QStringLiteral("default"));
  }

  void AddThreeThenEnabledRules() {
    Window w;
    w.shell.open_files_answers.append(QStringList());  // cancelled dialog
    w.Button("cmdDocAdd")->click();
    QVERIFY(w.frm->settings().Documents.empty());
    QVERIFY(!w.frm->settings().ProjectModified);
    QVERIFY(w.shell.last_multiple);

    w.AddDocuments(
        {QStringLiteral("/d/a.docx"), QStringLiteral("/d/b.doc"), QStringLiteral("/d/c.docx")});
    const auto& documents = w.frm->settings().Documents;
    QCOMPARE(documents.size(), size_t{3});
    QCOMPARE(documents[0].FilenamePre, std::string("doc1"));
    QCOMPARE(documents[2].FilenamePre, std::string("doc3"));
    QCOMPARE(documents[1].FileName, std::string("b.doc"));
    QVERIFY(w.frm->settings().ProjectModified);
    QTreeWidget* list = w.Get<QTreeWidget>("lstDoc");
    QCOMPARE(list->topLevelItem(2)->text(0), QStringLiteral("3"));
    QCOMPARE(list->topLevelItem(2)->text(2), QStringLiteral("doc3"));
    QCOMPARE(list->topLevelItem(2)->text(3), QStringLiteral("/d/c.docx"));
    // Rows added to an empty list leave the first selected.
    QCOMPARE(w.frm->SelectedPosition(), 1);
    QCOMPARE(w.Enabled(), QStringLiteral("101111"));

    // One document: neither move.
    Window one;
    one.AddDocuments(1);
    QCOMPARE(one.Enabled(), QStringLiteral("100111"));

    // Five documents, each selection; the arrow keys update the rule too.
    Window five;
    five.AddDocuments(5);
    const QString expected[] = {QStringLiteral("101111"), QStringLiteral("111111"),
                                QStringLiteral("111111"), QStringLiteral("111111"),
                                QStringLiteral("110111")};
    for (int s = 1; s <= 5; ++s) {
      five.Select(s);
      QCOMPARE(five.Enabled(), expected[s - 1]);
    }
    five.Get<QTreeWidget>("lstDoc")->setFocus();
    QTest::keyClick(five.Get<QTreeWidget>("lstDoc"), Qt::Key_Up);
    QCOMPARE(five.frm->SelectedPosition(), 4);
    QCOMPARE(five.Enabled(), QStringLiteral("111111"));
    // Keys on the list: Ctrl+Down moves, Delete removes.
    QTest::keyClick(five.Get<QTreeWidget>("lstDoc"), Qt::Key_Down, Qt::ControlModifier);
    QCOMPARE(five.frm->SelectedPosition(), 5);
    QCOMPARE(five.frm->settings().Documents[4].FilenamePre, std::string("doc4"));
    QTest::keyClick(five.Get<QTreeWidget>("lstDoc"), Qt::Key_Delete);
    QCOMPARE(five.frm->settings().Documents.size(), size_t{4});
  }

  void DroppedFilesJoinTheListOrOpen() {
    Window w;
    const auto drop = [&w](const QStringList& paths) {
      return tessarine::testing::DropFiles(w.frm.get(), paths);
    };
    // Only Word documents are taken, in the order dropped.
    QVERIFY(drop(
        {QStringLiteral("/d/a.DOCX"), QStringLiteral("/d/notes.txt"), QStringLiteral("/d/b.doc")}));
    QCOMPARE(w.frm->settings().Documents.size(), size_t{2});
    QCOMPARE(w.frm->settings().Documents[1].FileName, std::string("b.doc"));
    QVERIFY(w.frm->settings().ProjectModified);
    QVERIFY(!drop({QStringLiteral("/d/notes.txt")}));
    QCOMPARE(w.frm->settings().Documents.size(), size_t{2});

    // A dropped project file is opened, after the save question.
    const QString path = tessarine::testing::TempFolder() + QStringLiteral("dropped.tsn");
    tessarine::project::ProjectSettings saved = tessarine::project::DefaultProjectSettings();
    saved.HeadTitle = "拖入的项目";
    QVERIFY(tessarine::project::SaveProject(path.toStdString(), saved).ok());
    w.shell.save_answers = {Shell::SaveAnswer::kDiscard};
    QVERIFY(drop({path}));
    QCOMPARE(w.Line("txtHeadTitle")->text(), QStringLiteral("拖入的项目"));
    QVERIFY(w.frm->settings().Documents.empty());
  }

  void RemoveSelectsNeighbour() {
    Window w;
    w.AddDocuments(5);
    w.Select(5);
    w.Button("cmdDocDel")->click();
    QCOMPARE(w.frm->SelectedPosition(), 4);
    w.Select(2);
    w.Button("cmdDocDel")->click();
    QCOMPARE(w.frm->SelectedPosition(), 2);
    QCOMPARE(w.frm->settings().Documents[1].FilenamePre, std::string("doc3"));
    QCOMPARE(w.Get<QTreeWidget>("lstDoc")->topLevelItem(1)->text(0), QStringLiteral("2"));

    Window only;
    only.AddDocuments(1);
    only.Button("cmdDocDel")->click();
    QVERIFY(only.frm->settings().Documents.empty());
    QCOMPARE(only.Enabled(), QStringLiteral("000000"));

    // Emptying keeps the counter: the next prefix is new.
    w.Button("cmdDocEmpty")->click();
    QCOMPARE(w.Get<QTreeWidget>("lstDoc")->topLevelItemCount(), 0);
    w.AddDocuments(1);
    QCOMPARE(w.frm->settings().Documents[0].FilenamePre, std::string("doc6"));
  }

  void MoveRoundTripKeepsEveryField() {
    Window w;
    w.AddDocuments(3);
    auto& documents = w.frm->settings().Documents;
    for (int i = 0; i < 3; ++i) documents[i] = FullRecord(i);
    const auto before = documents;
    w.frm->RefreshDocumentList();
    w.Select(2);
    w.Button("cmdDocDown")->click();
    QCOMPARE(w.frm->SelectedPosition(), 3);
    QVERIFY(documents[2] == before[1] && documents[1] == before[2]);
    w.Button("cmdDocUp")->click();
    QCOMPARE(w.frm->SelectedPosition(), 2);
    QVERIFY(documents == before);
    // First row: up does nothing even when asked directly.
    w.Select(1);
    QVERIFY(!w.Button("cmdDocUp")->isEnabled());
  }

  void BatchWindowFromTheToolbar() {
    Window w;
    QString caption;
    tessarine::testing::WhenModalShown([&caption](QWidget* batch) {
      caption = batch->windowTitle();
      Control<QPushButton>(batch, "cmdExit")->click();
    });
    w.Action("batch")->trigger();
    QCOMPARE(caption, QStringLiteral("Tessarine - 批量转换工具"));
    QVERIFY(!w.frm->settings().ProjectModified);
  }

  void TemplateGallerySetsTheTemplate() {
    const QString data = tessarine::testing::TempFolder();
    QDir().mkpath(data + QStringLiteral("template/blue"));
    QDir().mkpath(data + QStringLiteral("template/default"));
    Window w(data.toStdString());
    // Cancel leaves the choice; OK on another template takes it.
    tessarine::testing::WhenModalShown(
        [](QWidget* gallery) { Control<QPushButton>(gallery, "cmdExit")->click(); });
    w.Button("cmdTemplatePreview")->click();
    QCOMPARE(w.Get<QComboBox>("cboTemplate")->currentText(), QStringLiteral("default"));
    QVERIFY(!w.frm->settings().ProjectModified);
    tessarine::testing::WhenModalShown([](QWidget* gallery) {
      auto* list = Control<QListWidget>(gallery, "ListView1");
      list->setCurrentRow(0);
      Control<QPushButton>(gallery, "cmdOK")->click();
    });
    w.Button("cmdTemplatePreview")->click();
    QCOMPARE(w.Get<QComboBox>("cboTemplate")->currentText(), QStringLiteral("blue"));
    QVERIFY(w.frm->settings().ProjectModified);
  }

  void DocumentSettingsDialog() {
    Window w;
    // A double-click on an empty list opens nothing.
    QTreeWidget* list = w.Get<QTreeWidget>("lstDoc");
    QTest::mouseDClick(list->viewport(), Qt::LeftButton);
    QVERIFY(QApplication::activeModalWidget() == nullptr);

    w.AddDocuments(3);
    w.Select(2);
    w.frm->settings().ProjectModified = false;
    QString caption;
    tessarine::testing::WhenModalShown([&caption](QWidget* dialog) {
      caption = dialog->windowTitle();
      Control<QPushButton>(dialog, "cmdCancel")->click();
    });
    w.Button("cmdDocSet")->click();
    QCOMPARE(caption, QStringLiteral("文档设置：d2.docx"));
    QCOMPARE(w.frm->SelectedPosition(), 2);
    QVERIFY(!w.frm->settings().ProjectModified);
  }

  void SettingsInAndOut() {
    Window w;
    w.Get<QPlainTextEdit>("txtPageTopNav")->setPlainText(QStringLiteral("a|/a\n\nc|/c"));
    w.Get<QComboBox>("cboCharset")->setEditText(QStringLiteral("big5"));
    w.Get<QComboBox>("cboFileEncode")->setCurrentIndex(1);
    QCheckBox* nav = w.Get<QCheckBox>("chkPageNav");
    w.Line("txtPageNavSep")->setText(QStringLiteral(" | "));
    nav->click();
    QVERIFY(!w.Line("txtPageNavSep")->isEnabled() && !w.Line("txtPageNavPreHTML")->isEnabled());
    QVERIFY(w.frm->settings().ProjectModified);
    QCheckBox* search = w.Get<QCheckBox>("chkSiteSearch");
    search->click();

    w.frm->CollectProjectSettings();
    const auto& settings = w.frm->settings();
    QCOMPARE(settings.PageTopNav, std::string("a|/a||||||c|/c"));
    QCOMPARE(settings.Charset, std::string("big5"));
    QCOMPARE(settings.FileEncode, std::string("1"));
    QCOMPARE(settings.PageNav, std::string("0"));
    QCOMPARE(settings.PageNavSep, std::string(" | "));
    QCOMPARE(settings.SiteSearch, std::string("0"));

    search->click();
    w.frm->ShowProjectSettings();
    QVERIFY(!search->isChecked());
    QCOMPARE(w.Get<QPlainTextEdit>("txtPageTopNav")->toPlainText(), QStringLiteral("a|/a\n\nc|/c"));
    QVERIFY(!nav->isChecked() && !w.Line("txtPageNavSep")->isEnabled());
  }

  void NewProjectQuestion() {
    Window w;
    w.AddDocuments(2);
    w.frm->settings().ProjectModified = false;  // as after a save
    w.Line("txtHeadTitle")->setText(QStringLiteral("x"));
    w.frm->settings().ProjectModified = false;
    w.shell.ok_cancel_answers = {false};
    w.Action("new")->trigger();
    QCOMPARE(w.shell.questions.last(),
             QStringLiteral("您确定要新建一项目吗？当前项目如未保存，数据将丢失。"));
    QCOMPARE(w.frm->settings().Documents.size(), size_t{2});
    QCOMPARE(w.Line("txtHeadTitle")->text(), QStringLiteral("x"));

    w.shell.ok_cancel_answers = {true};
    w.Action("new")->trigger();
    QVERIFY(w.frm->settings().Documents.empty());
    QCOMPARE(w.Line("txtHeadTitle")->text(), QStringLiteral("在线文档中心"));
    QVERIFY(!w.frm->settings().ProjectModified);

    // With unsaved changes the save question comes instead.
    w.AddDocuments(1);
    w.shell.save_answers = {Shell::SaveAnswer::kCancel};
    w.Action("new")->trigger();
    QCOMPARE(w.frm->settings().Documents.size(), size_t{1});
    w.shell.save_answers = {Shell::SaveAnswer::kDiscard};
    w.Action("new")->trigger();
    QVERIFY(w.frm->settings().Documents.empty());
    // The counter runs on across new projects.
    w.AddDocuments(1);
    QCOMPARE(w.frm->settings().Documents[0].FilenamePre, std::string("doc4"));
  }

  void SaveOpenAndCloseWithUnsavedWork() {
    Window w;
    w.AddDocuments(2);
    w.Line("txtHeadTitle")->setText(QStringLiteral("站点"));
    const QString path = tessarine::testing::TempFolder() + QStringLiteral("p.tsn");
    w.shell.save_file_answers = {path};
    w.Action("save")->trigger();  // never saved: save as
    QVERIFY(QFile::exists(path));
    QCOMPARE(w.frm->windowFilePath(), path);
    QCOMPARE(w.frm->windowTitle(), QStringLiteral("p.tsn[*]"));
    QVERIFY(!w.frm->isWindowModified());
    QVERIFY(!w.frm->settings().ProjectModified);

    // Close with unsaved edits: Cancel keeps the window, Save writes them.
    w.Line("txtHeadTitle")->setText(QStringLiteral("站点二"));
    w.shell.save_answers = {Shell::SaveAnswer::kCancel};
    QVERIFY(!w.frm->close());
    QVERIFY(w.frm->isVisible());
    w.shell.save_answers = {Shell::SaveAnswer::kSave};
    QVERIFY(w.frm->close());
    tessarine::project::ProjectSettings saved;
    QVERIFY(tessarine::project::LoadProject(path.toStdString(), saved).ok());
    QCOMPARE(saved.HeadTitle, std::string("站点二"));
    QCOMPARE(saved.Documents.size(), size_t{2});

    // Opening brings every setting back into the controls.
    Window other;
    other.shell.open_files_answers = {{path}};
    other.Action("open")->trigger();
    QCOMPARE(other.Line("txtHeadTitle")->text(), QStringLiteral("站点二"));
    QCOMPARE(other.Get<QTreeWidget>("lstDoc")->topLevelItemCount(), 2);
    QVERIFY(!other.frm->settings().ProjectModified);

    // A broken file: a message naming it, nothing changed.
    const QString broken = tessarine::testing::TempFolder() + QStringLiteral("broken.tsn");
    QFile file(broken);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("{ not json");
    file.close();
    other.shell.open_files_answers = {{broken}};
    other.Action("open")->trigger();
    QVERIFY(other.shell.messages.last().text.contains(broken));
    QCOMPARE(other.shell.messages.last().icon, Shell::Icon::kError);
    QCOMPARE(other.Line("txtHeadTitle")->text(), QStringLiteral("站点二"));
  }

  void ViewBrowseAndHelp() {
    Window w;
    w.Line("txtOutputDir")->setText(QStringLiteral("/srv/site"));
    w.Button("cmdView")->click();
    QCOMPARE(w.shell.opened.last(), QStringLiteral("/srv/site/default.htm"));
    w.Button("cmdOpenDir")->click();
    QCOMPARE(w.shell.explored.last(), QStringLiteral("/srv/site"));

    w.shell.folder_answers = {QStringLiteral("/"), QStringLiteral("/srv/out")};
    w.Button("cmdBrowseOutputDir")->click();
    QCOMPARE(w.Line("txtOutputDir")->text(), QStringLiteral("/"));
    QCOMPARE(w.shell.last_folder_title, QStringLiteral("选择输出文件夹："));
    w.Button("cmdBrowseOutputDir")->click();
    QCOMPARE(w.Line("txtOutputDir")->text(), QStringLiteral("/srv/out/"));
    // The browser opens at the folder in the box, "\" read as "/".
    w.Line("txtOutputDir")->setText(QStringLiteral(" \\srv\\out\\ "));
    w.Button("cmdBrowseOutputDir")->click();  // cancelled: unchanged
    QCOMPARE(w.shell.last_folder_start, QStringLiteral("/srv/out/"));
    QCOMPARE(w.Line("txtOutputDir")->text(), QStringLiteral(" \\srv\\out\\ "));

    // The guide the build put beside the templates.
    w.Action("help")->trigger();
    QVERIFY(w.shell.opened.last().endsWith(QStringLiteral("/help/default.htm")));
    QVERIFY(QFile::exists(w.shell.opened.last()));
  }

  void BuildRefusesInvalidOutputFolder() {
    Window w;
    w.AddDocuments(1);
    w.Get<QTabWidget>("tabMain")->setCurrentIndex(3);
    w.Line("txtOutputDir")->setText(QStringLiteral("/no/such/folder"));
    w.Button("cmdBuilding")->click();
    QCOMPARE(w.shell.messages.size(), 1);
    QCOMPARE(w.shell.messages[0].text, QStringLiteral("提示：无效的输出文件夹！"));
    QCOMPARE(w.shell.messages[0].icon, Shell::Icon::kError);
    QCOMPARE(w.Get<QTabWidget>("tabMain")->currentIndex(), 0);
    QCOMPARE(QApplication::focusWidget(), w.Line("txtOutputDir"));
    QCOMPARE(w.Line("txtOutputDir")->selectedText(), QStringLiteral("/no/such/folder"));
    QVERIFY(!w.frm->IsBuilding());
  }

  void BuildSampleProject() {
    Window w;
    const QString output = tessarine::testing::TempFolder();
    w.shell.open_files_answers = {{SampleProjectCopy(output)}};
    w.Action("open")->trigger();
    QCOMPARE(w.frm->settings().Documents.size(), size_t{1});

    QSignalSpy ended(w.frm.get(), &FrmMain::BuildEnded);
    QProgressBar* bar = w.Get<QProgressBar>("ProgressBar1");
    QList<int> values;
    connect(bar, &QProgressBar::valueChanged, this, [&values](int v) { values << v; });
    w.Button("cmdBuilding")->click();
    QVERIFY(w.frm->IsBuilding());
    QVERIFY(!w.Get<QToolBar>("toolbarHead")->isEnabled());
    QVERIFY(w.Get<QWidget>("picBgBuilding")->isVisible());
    QVERIFY(ended.wait(120000));
    QCOMPARE(ended.first().first().toBool(), true);
    QCOMPARE(bar->value(), 100);
    QVERIFY(values.size() > 3);  // moved step by step on the way
    QCOMPARE(w.Get<QLabel>("lblBuildingState")->text(), QStringLiteral("完成！"));
    QCOMPARE(w.shell.messages.last().text,
             QStringLiteral("恭喜：文档生成成功！您可以点击“查看”按钮，查看生成的效果。"));
    QCOMPARE(w.shell.messages.last().icon, Shell::Icon::kInformation);
    QVERIFY(QFile::exists(output + QStringLiteral("default.htm")));
    QVERIFY(QFile::exists(output + QStringLiteral("guide.htm")));
    QVERIFY(w.Get<QWidget>("picBgSetting")->isVisible());
    QVERIFY(w.Get<QToolBar>("toolbarHead")->isEnabled());
  }

  void ConverterNotesGoBehindTheDetails() {
    TESSARINE_QSKIP_WITHOUT_CORPUS();
    // This document has a table style without an id, which the converter
    // leaves out with a note.
    Window w;
    w.AddDocuments(
        {QString::fromStdString(tessarine::testing::SharedPath("corpus/docx/poi__60329.docx"))});
    w.Line("txtOutputDir")->setText(tessarine::testing::TempFolder());
    QSignalSpy ended(w.frm.get(), &FrmMain::BuildEnded);
    w.Button("cmdBuilding")->click();
    QVERIFY(ended.wait(120000));
    QCOMPARE(ended.first().first().toBool(), true);
    QCOMPARE(w.shell.messages.last().icon, Shell::Icon::kInformation);
    // In Chinese, after the document's path.
    const QString document =
        QString::fromStdString(tessarine::testing::SharedPath("corpus/docx/poi__60329.docx"));
    QVERIFY2(w.shell.messages.last().details.contains(
                 document + QStringLiteral(": 没有样式标识的样式（EmptyCellLayoutStyle）已略去")),
             qPrintable(w.shell.messages.last().details));

    // A document that is not there is refused before the build starts.
    Window missing;
    missing.AddDocuments(1);
    missing.Line("txtOutputDir")->setText(tessarine::testing::TempFolder());
    missing.Button("cmdBuilding")->click();
    QVERIFY(!missing.frm->IsBuilding());
    QCOMPARE(missing.shell.messages.last().text,
             QStringLiteral("无效的 Word 文档：\r\n/docs/d1.docx"));

    // A failed build says which document, and where its scratch folder was kept.
    const QString broken = tessarine::testing::TempFolder() + QStringLiteral("broken.docx");
    QFile junk(broken);
    QVERIFY(junk.open(QIODevice::WriteOnly));
    junk.write("not a package");
    junk.close();
    Window failing;
    failing.AddDocuments({broken});
    failing.Line("txtOutputDir")->setText(tessarine::testing::TempFolder());
    QSignalSpy failed(failing.frm.get(), &FrmMain::BuildEnded);
    failing.Button("cmdBuilding")->click();
    QVERIFY(failed.wait(120000));
    QCOMPARE(failed.first().first().toBool(), false);
    const FakeShell::Message& message = failing.shell.messages.last();
    QVERIFY(message.text.startsWith(QStringLiteral("生成出错，原因：\r\nOpen:")));
    QVERIFY(message.text.endsWith(QStringLiteral("\r\n文档：") + broken));
    const std::string& kept = failing.frm->last_outcome().scratch_folder;
    QVERIFY(!kept.empty());
    QVERIFY(message.details.contains(QString::fromStdString(kept)));
    QDir(QString::fromStdString(kept)).removeRecursively();
  }

  void StopEndsWithInterrupted() {
    Window w;
    const QString output = tessarine::testing::TempFolder();
    w.shell.open_files_answers = {{SampleProjectCopy(output)}};
    w.Action("open")->trigger();
    QSignalSpy ended(w.frm.get(), &FrmMain::BuildEnded);
    const auto kept_folders = [] {
      return QDir(QDir::tempPath())
          .entryList({QStringLiteral("tessarine-build-*")}, QDir::Dirs | QDir::NoDotAndDotDot);
    };
    const QStringList before = kept_folders();
    w.Button("cmdBuilding")->click();
    w.Button("cmdStopBuilding")->click();
    // Until the build has ended, the state says that it is stopping.
    QCOMPARE(w.Get<QLabel>("lblBuildingState")->text(), QStringLiteral("正在停止生成..."));
    QVERIFY(ended.wait(120000));
    QCOMPARE(ended.first().first().toBool(), false);
    QCOMPARE(w.Get<QLabel>("lblBuildingState")->text(), QStringLiteral("中断！"));
    // A stop leaves no scratch folder behind.
    QVERIFY(w.frm->last_outcome().scratch_folder.empty());
    QCOMPARE(kept_folders(), before);
    QCOMPARE(w.shell.messages.last().text, QStringLiteral("生成出错，原因：\r\n用户中断"));
    QCOMPARE(w.shell.messages.last().icon, Shell::Icon::kError);
    QVERIFY(!QFile::exists(output + QStringLiteral("default.htm")));
  }

  // A stop while the pages of a large document are written: the bar moved
  // inside the document's page loop, and no page is started after the
  // request (the one being written may still finish).
  void StopDuringThePagesOfALargeDocument() {
    const QString folder = tessarine::testing::TempFolder();
    tessarine::testing::Blocks blocks;
    for (int chapter = 1; chapter <= 400; ++chapter) {
      blocks.emplace_back(1, "Chapter " + std::to_string(chapter));
      blocks.emplace_back(0, "Text.");
    }
    tessarine::testing::WriteDocx((folder + QStringLiteral("large.docx")).toStdString(), blocks);
    Window w;
    w.AddDocuments({folder + QStringLiteral("large.docx")});
    const QString output = folder + QStringLiteral("out/");
    QVERIFY(QDir().mkpath(output));
    w.Line("txtOutputDir")->setText(output);
    const auto pages = [&output] {
      return QDir(output).entryList({QStringLiteral("*.htm")}, QDir::Files).size();
    };

    // One document: "into loop" leaves the bar at 79 and "write mainpage"
    // takes it to 86; a value between them is the page loop's own.
    QSignalSpy ended(w.frm.get(), &FrmMain::BuildEnded);
    QProgressBar* bar = w.Get<QProgressBar>("ProgressBar1");
    qsizetype pages_at_request = -1;
    connect(bar, &QProgressBar::valueChanged, this, [&](int value) {
      if (value > 79 && value < 86 && pages_at_request < 0) {
        // Counted after the request: the worker goes on while the folder
        // is listed, and only the page it is writing may still appear.
        w.Button("cmdStopBuilding")->click();
        pages_at_request = pages();
      }
    });
    w.Button("cmdBuilding")->click();
    QVERIFY(ended.wait(120000));
    QCOMPARE(ended.first().first().toBool(), false);
    QVERIFY(pages_at_request > 0);
    QVERIFY2(pages() - pages_at_request <= 1,
             qPrintable(QStringLiteral("%1 then %2").arg(pages_at_request).arg(pages())));
    QVERIFY(pages() < 401);
    QCOMPARE(w.Get<QLabel>("lblBuildingState")->text(), QStringLiteral("中断！"));
  }

  void Screenshots() {
    Window w;
    w.AddDocuments({QStringLiteral("/home/user/文档/用户手册.docx"),
                    QStringLiteral("/home/user/文档/release-notes.docx"),
                    QStringLiteral("/home/user/文档/常见问题.doc")});
    QTabWidget* tabs = w.Get<QTabWidget>("tabMain");
    const char* names[] = {"main_basic", "main_content", "main_top", "main_head"};
    for (int i = 0; i < 4; ++i) {
      tabs->setCurrentIndex(i);
      tessarine::testing::SaveScreenshot(w.frm.get(), QString::fromLatin1(names[i]));
    }
    w.frm->SetBusy(true);
    w.Get<QProgressBar>("ProgressBar1")->setValue(42);
    tessarine::testing::SaveScreenshot(w.frm.get(), QStringLiteral("main_building"));
    w.frm->SetBusy(false);
  }
};

QTEST_MAIN(FrmMainTest)
#include "frm_main_test.moc"
