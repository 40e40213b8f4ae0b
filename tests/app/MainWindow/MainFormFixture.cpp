#include "tests/app/MainWindow/MainFormFixture.h"

#include <QCoreApplication>

void MainFormTest::WritePicture(const QString& path) {
    QImage image(32, 24, QImage::Format_RGB32);
    image.fill(QColor(40, 120, 200));
    ASSERT_TRUE(image.save(path, "JPG")) << path.toStdString();
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

QString MainFormTest::Lists() const {
    QStringList parts;
    for (const TListView* list : {Form().FilesLV, Form().SelectedLV}) {
        QStringList rows;
        for (int i = 0; i < list->Count(); ++i) {
            rows.append(list->Caption(i) + (list->IsSelected(i) ? "*" : ""));
        }
        parts.append(rows.join(' '));
    }
    return parts.join(" | ") + " | " + Form().TotalFilesLabel->text() + " | " +
           Form().TotalSelectedLabel->text();
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

void MainFormTest::AddFiles(const QStringList& names) {
    SelectFiles(names);
    Form().AddButtonClick();
}
