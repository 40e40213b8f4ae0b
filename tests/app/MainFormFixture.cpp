#include "MainFormFixture.h"

#include <QCoreApplication>

MainFormTest::MainFormTest() {
    EnsureApp();
    hadTmpDir_ = qEnvironmentVariableIsSet("TMPDIR");
    oldTmpDir_ = qgetenv("TMPDIR");
    QDir(root_.path()).mkpath("tmp");
    qputenv("TMPDIR", QFile::encodeName(root_.path() + "/tmp"));
}

MainFormTest::~MainFormTest() {
    forms_.reset();
    if (hadTmpDir_) {
        qputenv("TMPDIR", oldTmpDir_);
    } else {
        qunsetenv("TMPDIR");
    }
}

void MainFormTest::WritePicture(const QString& path) {
    QImage image(32, 24, QImage::Format_RGB32);
    image.fill(QColor(40, 120, 200));
    if (!image.save(path, "JPG")) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
        file.write("\xff\xd8\xff\xe0 not a whole picture");
    }
}

QString MainFormTest::Folder(const QString& name) const {
    const QString path = root_.path() + "/" + name;
    QDir().mkpath(path);
    return path;
}

QString MainFormTest::MakePictures(const QString& folder, const QStringList& names) const {
    const QString path = Folder(folder);
    for (const QString& name : names) {
        WritePicture(path + "/" + name);
    }
    return path;
}

void MainFormTest::Store(const QString& section, const QString& key, const QString& value) {
    TIniFile ini(ini_.Path());
    ini.WriteString(section, key, value);
    ASSERT_TRUE(ini.UpdateFile());
}

QString MainFormTest::Stored(const QString& section, const QString& key) const {
    return TIniFile(ini_.Path()).ReadString(section, key, QStringLiteral("<none>"));
}

void MainFormTest::Start() {
    forms_ = std::make_unique<TApplicationForms>();
    MainForm->FormShow();
    RunQueued();
}

void MainFormTest::OpenFolder(const QString& folder) {
    Form().DirTree->SelectFolder(folder);
    Form().DirTreeChange();
}

void MainFormTest::RunQueued() {
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::processEvents();
    }
}

QStringList MainFormTest::Captions(const TListView* list) const {
    QStringList captions;
    for (int i = 0; i < list->Count(); ++i) {
        captions.append(list->Caption(i));
    }
    return captions;
}

void MainFormTest::SelectFiles(const QStringList& names) {
    TListView* list = Form().FilesLV;
    list->clearSelection();
    for (int i = 0; i < list->Count(); ++i) {
        if (names.contains(list->Caption(i))) {
            list->SetSelected(i, true);
        }
    }
}

void MainFormTest::CloseWindow() {
    Form().close();
}
