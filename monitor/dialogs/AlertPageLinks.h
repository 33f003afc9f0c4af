// What the Sound and Batch pages share: `useGlobal` and their links to the
// Add/Edit sheet's Alert-settings and General pages. In the Global Options
// sheet both links stay empty and `useGlobal` stays 0.
#pragma once

#include <cstdint>

namespace tarnwatch {

class CAddEditDlg;
class CGlobalPage;

class AlertPageLinks {
public:
    // 1: the global settings apply and nothing on the page can be chosen.
    std::int32_t useGlobal = 0;

    // Where `useGlobal` comes from each time the page is shown.
    void SetAlertSettingsPage(const CGlobalPage* page) { alertSettings_ = page; }
    // Whose kind of test decides the captions and labels.
    void SetGeneralPage(const CAddEditDlg* page) { general_ = page; }

protected:
    const CGlobalPage* alertSettings_ = nullptr;
    const CAddEditDlg* general_ = nullptr;
};

}  // namespace tarnwatch
