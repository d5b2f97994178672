#include "ui/FileDialog.h"

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
        Dialog.selectFile(QFileInfo(FileName).fileName());
        if (Dialog.exec() == QDialog::Accepted && !Dialog.selectedFiles().isEmpty()) {
            Chosen = Dialog.selectedFiles().first();
        }
    }
    if (!Chosen) {
        return false;
    }
    FileName = *Chosen;
    LastFolder = QFileInfo(FileName).absolutePath();
    return true;
}

// A dialog whose file name was cleared opens where the user last chose a
// file, as the desktop's own dialogs do, not in the program's working folder.
QString TFileDialog::StartFolder() const {
    const QFileInfo Name(FileName);
    return !FileName.isEmpty() && Name.isAbsolute() ? Name.path() : LastFolder;
}

// "AVI video files (*.avi)|*.avi" becomes the name filter "AVI video files
// (*.avi)"; a description without its pattern gets it appended.
QString TFileDialog::NameFilters() const {
    const QStringList Parts = Filter.split('|');
    QStringList Filters;
    for (qsizetype I = 0; I + 1 < Parts.size(); I += 2) {
        const QString Pattern = Parts[I + 1];
        Filters << (Parts[I].contains(Pattern) ? Parts[I] : Parts[I] + " (" + Pattern + ")");
    }
    return Filters.join(";;");
}

}  // namespace quorvane
