#include "WindowTestKit.h"

#include <QAbstractButton>
#include <QFileDialog>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

namespace quorvane::test {

TMessageBoxAnswerer::TMessageBoxAnswerer(QMessageBox::StandardButton Answer) : Answer(Answer) {
    connect(&Poll, &QTimer::timeout, this, [this] { AnswerOpenBox(); });
    Poll.start(10);
}

void TMessageBoxAnswerer::AnswerOpenBox() {
    auto* Box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!Box || !Box->isVisible()) {
        return;
    }
    Shown.push_back({Box->windowTitle(), Box->text(), Box->icon(), Box->standardButtons()});
    QAbstractButton* Button = Box->button(Answer);
    (Button ? Button : Box->defaultButton())->click();
}

TFileDialogAnswerer::TFileDialogAnswerer(std::vector<QString> Names) : Names(std::move(Names)) {
    connect(&Poll, &QTimer::timeout, this, [this] { AnswerOpenDialog(); });
    Poll.start(10);
}

void TFileDialogAnswerer::AnswerOpenDialog() {
    auto* Dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (!Dialog || !Dialog->isVisible()) {
        return;
    }
    Folders.push_back(Dialog->directory().canonicalPath());
    FileTypes.push_back(Dialog->selectedNameFilter());
    if (Folders.size() > Names.size()) {
        Dialog->reject();
        return;
    }
    // Typed into the name box: selectFile leaves a box with the focus as it is.
    auto* NameBox = Dialog->findChild<QLineEdit*>("fileNameEdit");
    if (!NameBox) {
        qFatal("the file dialog has no name box");
    }
    NameBox->setText(Names[Folders.size() - 1]);
    // QFileDialog::accept checks the name typed, as a click on its button does.
    static_cast<QDialog*>(Dialog)->accept();
}

QMessageBox* EndReport(TForm1& Window) {
    for (auto* Box : Window.findChildren<QMessageBox*>()) {
        if (Box->isVisible() && Box->windowTitle() == "Information") {
            return Box;
        }
    }
    return nullptr;
}

std::unique_ptr<TForm1> ShowMainWindow(std::optional<TMp3FormatOffer> Offer) {
    auto Window =
        Offer ? std::make_unique<TForm1>([Offer] { return *Offer; }) : std::make_unique<TForm1>();
    TProgram::ShowMainWindow(*Window);
    if (!QTest::qWaitForWindowExposed(Window.get())) {
        qWarning("the window was not exposed");
    }
    return Window;
}

TMp3FormatOffer MadeUpOffer(int Count) {
    TMp3FormatOffer Offer;
    for (int I = 0; I < Count; ++I) {
        Offer.push_back({{85, 0, uint8_t(I)}, {1, 0, uint8_t(I)}, "Format " + std::to_string(I)});
    }
    return Offer;
}

void ChooseFile(TFileDialog& Dialog, std::optional<std::filesystem::path> Path) {
    Dialog.Chooser = [Path](const TFileDialog&) -> std::optional<QString> {
        if (!Path) {
            return std::nullopt;
        }
        return QString::fromStdString(Path->string());
    };
}

void ChooseFileOnce(TFileDialog& Dialog, const std::filesystem::path& Path) {
    auto Chosen = std::make_shared<bool>(false);
    Dialog.Chooser = [Path, Chosen](const TFileDialog&) -> std::optional<QString> {
        if (std::exchange(*Chosen, true)) {
            return std::nullopt;
        }
        return QString::fromStdString(Path.string());
    };
}

void OpenInput(TForm1& Window, const std::filesystem::path& Path) {
    ChooseFile(Window.OpenDialog1, Path);
    Window.Button1->click();
}

void OnFirstProgress(TForm1& Window, std::function<void()> Call) {
    auto Connection = std::make_shared<QMetaObject::Connection>();
    *Connection =
        QObject::connect(Window.ProgressBar, &QProgressBar::valueChanged, [Connection, Call](int) {
            QObject::disconnect(*Connection);
            Call();
        });
}

bool WaitForRunToEnd(TForm1& Window) {
    return QTest::qWaitFor([&] { return !Window.JobRunning(); }, 15000);
}

bool FileIsOpen(const std::filesystem::path& File) {
    const auto Wanted = std::filesystem::canonical(File);
    std::error_code Ignored;
    for (const auto& Entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        if (std::filesystem::read_symlink(Entry.path(), Ignored) == Wanted) {
            return true;
        }
    }
    return false;
}

}  // namespace quorvane::test
