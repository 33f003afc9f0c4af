// What the pages may use of the program: the sound player for Play, a pump
// for commands whose end Test waits for, the file chooser behind every
// Browse button and the message box (a test puts its own in place of the
// system's), and the Browse, Play and Test actions built on them.
#pragma once

#include <QString>
#include <cstddef>
#include <functional>
#include <string>

#include "dialogs/Fields.h"
#include "engine/Ports.h"

class QLineEdit;
class QWidget;

namespace tarnwatch {

// One Browse: what the chooser shows first and which files it offers. The
// chosen file must exist.
struct FileChoice {
    QString filter;            // Qt filter list, ";;"-separated
    QString defaultSuffix;     // without the dot; empty for none
    QString initialDirectory;  // empty: the chooser's own default
    QString initialName;       // empty: none
};

struct DialogServices {
    SoundPort* sound = nullptr;
    // Lets the window paint while Test waits for a command.
    MessagePump* pump = nullptr;
    // The chosen file's full path, or an empty text when the user cancels.
    // Unset: the system's file chooser.
    std::function<QString(QWidget* parent, const FileChoice& choice)> chooseFile;
    // A message with an OK button over `parent`. Unset: the text goes to
    // standard error after the program's name.
    std::function<void(QWidget* parent, const std::string& text)> showMessage;
};

// Shows `text` through the services' message box.
void TellUser(QWidget* parent, const std::string& text, const DialogServices& services);

// Runs the chooser; the full path of an existing file, or empty.
QString ChooseFile(QWidget* parent, const FileChoice& choice, const DialogServices& services);

// The wave-file Browse of the sound pages: "wav" as default suffix, the
// member as initial name.
FileChoice WaveFileChoice(const char* member);
// The command Browse (and the General page's program Browse): executables,
// shell scripts and all files; the initial directory is the stored member's
// folder (str_getPrefix), the chooser's default when it names none.
FileChoice CommandFileChoice(const char* member);

// Play: a non-empty name is played without waiting for it to end.
void PlayMember(const char* member, const DialogServices& services);

// Test: runs a non-empty command through the command runner with its wait
// flag. While it waits, a small window with a Cancel button keeps the sheet
// responsive; Cancel ends the command. A command whose program cannot be
// started, waited for or not, or a waited-for command that ends with a
// non-zero code shows "Invalid command - cannot execute!". Returns true when
// nothing had to be reported.
bool TestCommand(QWidget* parent, const char* command, int wait, const DialogServices& services);

// Browse for a fixed text field: a chosen file is stored in the field as
// StoreText does and shown in its edit; a cancelled chooser changes nothing.
void BrowseInto(QWidget* parent, char* field, std::size_t size, QLineEdit* edit,
                const FileChoice& choice, const DialogServices& services);
template <std::size_t N>
void BrowseInto(QWidget* parent, char (&field)[N], QLineEdit* edit, const FileChoice& choice,
                const DialogServices& services) {
    BrowseInto(parent, field, N, edit, choice, services);
}

// Test of a command edit: the command exactly as typed, with no macros
// expanded, is read back into its field and run as TestCommand runs it.
template <std::size_t N>
bool TestTypedCommand(QWidget* parent, char (&field)[N], const QLineEdit* edit, int wait,
                      const DialogServices& services) {
    ReadBack(edit, field);
    return TestCommand(parent, field, wait, services);
}

}  // namespace tarnwatch
