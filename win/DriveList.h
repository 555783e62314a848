#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Drive1: a drop-down list of the drives, each shown as its lower-case letter and the name
// Explorer gives it, "c: [System]". The list is read anew each time it is opened, so a card put
// in meanwhile is there.
class DriveList {
  public:
    struct Drive {
        std::wstring root;  // "C:\", as the file calls take it
        std::wstring shown; // "c: [System]"
    };

    void attach(HWND combo) { combo_ = combo; }
    HWND handle() const { return combo_; }

    // Reads the drives again, keeping the current one where it is still there.
    void refresh();
    // The root of the drive shown, "C:\"; empty when none is.
    std::wstring drive() const;
    // Makes current the drive that holds path; false when none of the listed drives does.
    bool setDriveHolding(const std::wstring& path);
    bool lists(const std::wstring& root) const;

    static std::vector<Drive> presentDrives();
    // "c: [System]" for the root "C:\" that Explorer calls "System (C:)"; "c:" when it has no
    // name of its own.
    static std::wstring shownName(const std::wstring& root, std::wstring explorerName);

  private:
    HWND combo_ = nullptr;
    std::vector<Drive> drives_;
};
