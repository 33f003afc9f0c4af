// A property sheet: pages on tabs, with OK, Cancel and an Apply button that
// stays disabled (no page ever marks itself changed). It opens on its first
// page. Pages are told when they are shown and left, and asked on OK.
#pragma once

#include <QDialog>
#include <QPointer>
#include <vector>

class QTabWidget;
class QPushButton;

class QDialogButtonBox;

namespace tarnwatch {

// What a sheet gives each of its pages.
class SheetPage {
public:
    virtual ~SheetPage() = default;
    // Each time the page is shown.
    virtual void OnSetActive() {}
    // When the page is left, and on OK while it is the page shown.
    virtual void OnKillActive() {}
};

class CAdvancedDlg final : public QDialog {
    Q_OBJECT
public:
    CAdvancedDlg(const QString& title, QWidget* parent = nullptr);

    // The sheet takes the widget as a child; `page` is the same object seen
    // as a page (or null for a page that needs no notices).
    void AddPage(QWidget* widget, SheetPage* page, const QString& tabTitle);
    QTabWidget* Tabs() const { return tabs_; }

    // Both open on the first page; open() is the modeless-looking way the
    // tests drive a sheet.
    int exec() override;
    void open() override;
    void accept() override;

private:
    void Start();
    void OnTabChanged(int index);

    QTabWidget* tabs_;
    QDialogButtonBox* buttons_;
    QPushButton* applyButton_;
    std::vector<SheetPage*> pages_;
    int current_ = -1;
};

// What the holder of a sheet shares: the sheet, deleted with the holder
// unless the sheet's parent window has taken it along already.
class SheetHolder {
public:
    SheetHolder(const SheetHolder&) = delete;
    SheetHolder& operator=(const SheetHolder&) = delete;

    // False once the sheet has gone with its parent window.
    bool Alive() const { return !sheet_.isNull(); }
    CAdvancedDlg& Sheet() const { return *sheet_; }

protected:
    explicit SheetHolder(CAdvancedDlg* sheet) : sheet_(sheet) {}
    ~SheetHolder() { delete sheet_.data(); }

    QPointer<CAdvancedDlg> sheet_;
};

// Runs the holder's sheet modally; on OK copies its pages back into
// `target` and returns true, otherwise leaves `target` as it was.
template <typename Holder, typename Target>
bool RunSheet(Holder& holder, Target& target) {
    const int result = holder.Sheet().exec();
    // The sheet may have gone with its parent while it ran.
    if (result != QDialog::Accepted || !holder.Alive()) return false;
    holder.CopyBack(target);
    return true;
}

}  // namespace tarnwatch
