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
    // chosen file, unless it was cancelled.
    bool Execute(QWidget* Owner);

    // Pairs of description and pattern: "AVI video files (*.avi)|*.avi".
    QString Filter;
    QString FileName;

    // Chooses in place of the dialog where none can be shown (tests): the
    // chosen name, or nothing for a cancel.
    std::function<std::optional<QString>(const TFileDialog&)> Chooser;

private:
    QString NameFilters() const;
    QString StartFolder() const;

    TKind Kind;
    // The folder of the file last chosen in any of the program's dialogs.
    static inline QString LastFolder;
};

}  // namespace quorvane
