// Browse, Play and Test as every page does them.
#include "dialogs/DialogServices.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QProgressDialog>
#include <QString>
#include <cstdio>
#include <cstring>

#include "engine/CommandRunner.h"
#include "engine/ServiceItem.h"
#include "quillongen/str.h"
#include "res/QtText.h"
#include "res/StringTable.h"

namespace tarnwatch {
namespace {

// While Test waits: the window keeps painting and, after a moment, a small
// modal window offers to stop waiting. Everything else of the program stays
// out of reach, so nothing can start inside the wait.
class TestWaitPump final : public MessagePump {
public:
    explicit TestWaitPump(QWidget* parent, MessagePump* outer) : parent_(parent), outer_(outer) {
        clock_.start();
    }
    void Pump() override {
        if (!progress_ && clock_.elapsed() >= kShowAfterMs) {
            progress_ = std::make_unique<QProgressDialog>(
                TableText(IDS_WAITING_FOR_COMMAND), TableText(IDS_STOP_WAITING), 0, 0, parent_);
            progress_->setObjectName(QStringLiteral("commandWaitDialog"));
            progress_->setWindowModality(Qt::WindowModal);
            progress_->setMinimumDuration(0);
            progress_->show();
        }
        if (progress_) {
            // The wait window's Cancel is the one control the user can reach.
            QApplication::processEvents(QEventLoop::AllEvents, 10);
        } else if (outer_) {
            outer_->Pump();
        }
    }
    bool StopRequested() const override {
        return (progress_ && progress_->wasCanceled()) || (outer_ && outer_->StopRequested());
    }

private:
    static constexpr int kShowAfterMs = 300;
    QWidget* parent_;
    MessagePump* outer_;
    QElapsedTimer clock_;
    std::unique_ptr<QProgressDialog> progress_;
};

}  // namespace

void TellUser(QWidget* parent, const std::string& text, const DialogServices& services) {
    if (services.showMessage) {
        services.showMessage(parent, text);
    } else {
        std::fprintf(stderr, "%s: %s\n", LoadString(IDS_APP_NAME), text.c_str());
    }
}

QString ChooseFile(QWidget* parent, const FileChoice& choice, const DialogServices& services) {
    if (services.chooseFile) return services.chooseFile(parent, choice);
    QFileDialog dialog(parent);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(choice.filter);
    if (!choice.defaultSuffix.isEmpty()) dialog.setDefaultSuffix(choice.defaultSuffix);
    if (!choice.initialDirectory.isEmpty()) dialog.setDirectory(choice.initialDirectory);
    if (!choice.initialName.isEmpty()) dialog.selectFile(choice.initialName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst();
}

FileChoice WaveFileChoice(const char* member) {
    FileChoice c;
    c.filter =
        QStringLiteral("Wave Files (*.wav);;Sound Files (*.wav *.oga *.ogg *.flac);;All Files (*)");
    c.defaultSuffix = QStringLiteral("wav");
    c.initialName = FieldText(member, kTextSize);
    return c;
}

FileChoice CommandFileChoice(const char* member) {
    FileChoice c;
    c.filter = QStringLiteral("Programs and Scripts (*);;Shell Scripts (*.sh);;All Files (*)");
    char prefix[kTextSize + 1] = "";
    char stored[kTextSize];
    CopyText(stored, member);
    str_getPrefix(prefix, stored);
    c.initialDirectory = FieldText(prefix, sizeof prefix);
    return c;
}

void PlayMember(const char* member, const DialogServices& services) {
    if (member[0] == '\0' || !services.sound) return;
    services.sound->PlayAsync(member);
}

void BrowseInto(QWidget* parent, char* field, std::size_t size, QLineEdit* edit,
                const FileChoice& choice, const DialogServices& services) {
    const QString path = ChooseFile(parent, choice, services);
    if (path.isEmpty()) return;
    StoreText(field, size, path);
    edit->setText(FieldText(field, size));
}

bool TestCommand(QWidget* parent, const char* command, int wait, const DialogServices& services) {
    if (command[0] == '\0') return true;
    int result = kRunOk;
    if (wait) {
        TestWaitPump pump(parent, services.pump);
        result = RunCommand(command, 1, &pump);
    } else {
        // A mistyped path must not look fine just because nobody waits.
        result = StartCommand(command);
    }
    if (result == kRunOk || result == kRunStopped) return true;
    TellUser(parent, LoadString(IDS_INVALID_COMMAND), services);
    return false;
}

}  // namespace tarnwatch
