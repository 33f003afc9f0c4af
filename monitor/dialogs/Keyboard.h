// What a page needs to be used without the mouse: every labelled control a
// mnemonic (Alt+letter) that no other control of the page shares, and Tab
// into a group of radio buttons landing on the checked one.
#pragma once

class QWidget;

namespace tarnwatch {

// Gives every check box, radio button, push button, group box title and
// label with a buddy on `page` that has no mnemonic the first letter of its
// text (a word's first letter preferred) that the page does not use yet.
// Texts set again later (a page that changes its words) are done again at
// the next call.
void AssignMnemonics(QWidget* page);

// Tab and Backtab into a group of radio buttons stop at its checked button,
// and leave the group from there, as desktop toolkits do.
void TabToCheckedRadios(QWidget* page);

}  // namespace tarnwatch
