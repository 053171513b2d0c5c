#pragma once

// A 64 KiB tmpfs mounted over a folder for the life of the object, to make a disk
// fill up for real (ENOSPC on write, as a full disk gives). Mounting needs root:
// mounted() is false otherwise, and the test should skip. The folder is made when
// missing; what it held is hidden while the tmpfs is mounted.

#include <QString>

class SmallDisk {
public:
    explicit SmallDisk(QString folder);
    ~SmallDisk(); // unmounts (lazily, so an open file cannot keep it)
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool mounted() const { return m_mounted; }
    // Takes every free byte with a filler file; free() removes it again.
    void fill();
    void free();

private:
    const QString m_folder;
    bool m_mounted = false;
};
