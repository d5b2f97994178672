#include "ui/FileDialog.h"

#include <QDir>
#include <QFileDialog>

namespace quorvane {

bool TFileDialog::Execute(QWidget* Owner) {
    std::optional<QString> Chosen;
    if (Chooser) {
        Chosen = Chooser(*this);
    } else {
        QFileDialog Dialog(Owner, QString(), StartFolder(), NameFilters());
        Dialog.setAcceptMode(Kind == TKind::Open ? QFileDialog::AcceptOpen
                                                 : QFileDialog::AcceptSave);
        Dialog.setFileMode(Kind == TKind::Open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
        // Qt's question would concern the name as typed, before the caller
        // adds its extension.
        Dialog.setOption(QFileDialog::DontConfirmOverwrite);
        Dialog.selectFile(QFileInfo(FileName).fileName());
        if (Dialog.exec() == QDialog::Accepted && !Dialog.selectedFiles().isEmpty()) {
            Chosen = Dialog.selectedFiles().first();
        }
    }
    if (!Chosen) {
        return false;
    }
    FileName = *Chosen;
    RememberFolderOf(FileName);
    return true;
}

void TFileDialog::RememberFolderOf(const QString& Name) {
    LastFolder = QFileInfo(Name).absolutePath();
}

QString TFileDialog::RealFolder(const QString& Wanted) {
    QString Folder = QDir::cleanPath(QDir(Wanted).absolutePath());
    for (const QString System : {"/proc", "/sys", "/dev"}) {
        if (Folder == System || Folder.startsWith(System + "/")) {
            return QDir::homePath();
        }
    }
    while (!QFileInfo(Folder).isDir() && !QDir(Folder).isRoot()) {
        Folder = QFileInfo(Folder).path();
    }
    return Folder;
}

// A dialog whose file name was cleared opens where the user last chose a
// file, as the desktop's own dialogs do, not in the program's working folder.
QString TFileDialog::StartFolder() const {
    const QFileInfo Name(FileName);
    const QString Wanted = !FileName.isEmpty() && Name.isAbsolute() ? Name.path() : LastFolder;
    return Wanted.isEmpty() ? QString() : RealFolder(Wanted);
}

// "AVI video files (*.avi)|*.avi" becomes the name filter "AVI video files
// (*.avi)"; a description without its pattern gets it appended.
QString TFileDialog::NameFilters() const {
    const QStringList Parts = Filter.split('|');
    QStringList Filters;
    for (qsizetype I = 0; I + 1 < Parts.size(); I += 2) {
        const QString& Pattern = Parts[I + 1];
        Filters << (Parts[I].contains(Pattern) ? Parts[I] : Parts[I] + " (" + Pattern + ")");
    }
    return Filters.join(";;");
}

}  // namespace quorvane
