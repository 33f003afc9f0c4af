// "Add IP address": asks for one Internet test address.
#pragma once

#include <QDialog>
#include <QString>

namespace Ui {
class CAddIPDlg;
}

namespace tarnwatch {

class CAddIPDlg final : public QDialog {
    Q_OBJECT
public:
    explicit CAddIPDlg(QWidget* parent = nullptr);
    ~CAddIPDlg() override;

    void accept() override;

    // The whole text of the edit as it stood at OK. The edit has no length
    // limit: a caller that refuses an over-long address must be able to see
    // one, rather than have it cut silently.
    QString address;

private:
    Ui::CAddIPDlg* ui_;
};

}  // namespace tarnwatch
