// The window's file-open and file-save dialogs.
#pragma once

#include <QString>
#include <functional>
#include <optional>

class QWidget;

namespace quorvane {

class TFileDialog {
public:
    enum class TKind { Open, Save };
    explicit TFileDialog(TKind Kind) : Kind(Kind) {}

    // Runs the dialog, modal to Owner. True, with FileName set to the
    // chosen file, unless it was cancelled. The save dialog asks nothing
    // about a file that exists: the caller knows the name it will write.
    bool Execute(QWidget* Owner);

    // Pairs of description and pattern: "AVI video files (*.avi)|*.avi".
    QString Filter;
    QString FileName;

    // Chooses in place of the dialog where none can be shown (tests): the
    // chosen name, or nothing for a cancel.
    std::function<std::optional<QString>(const TFileDialog&)> Chooser;

    // Where the next dialog opens, for a file taken without a dialog (a
    // drop, the command line).
    static void RememberFolderOf(const QString& FileName);

private:
    QString NameFilters() const;
    QString StartFolder() const;
    // The folder a dialog opens in for Wanted: the nearest existing folder
    // of the user's files, never one of the system's own file systems
    // (/proc, /sys, /dev), whose files may block whoever reads them.
    static QString RealFolder(const QString& Wanted);

    TKind Kind;
    // The folder of the file last chosen in any of the program's dialogs.
    static inline QString LastFolder;
};

}  // namespace quorvane
