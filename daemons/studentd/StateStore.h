// Small files the daemon keeps: in its state folder (what must survive a
// restart) and the USB storage rule. Written whole or not at all.
#ifndef TAV_STUDENTD_STATESTORE_H
#define TAV_STUDENTD_STATESTORE_H

#include "FileStore.h"

#include <string>

namespace studentd {

// The state folder (state_dir): one small file per fact.
class StateStore {
public:
    explicit StateStore(std::string dir) : m_dir(std::move(dir)) {}

    // Creates the folder (and its parents) as root-only when missing.
    bool Prepare(std::string& error) const;

    bool Exists(const std::string& name) const;
    // False when the file is missing or cannot be read (the latter logged).
    bool Read(const std::string& name, std::string& text) const;
    // Each logs its failure.
    bool Write(const std::string& name, const std::string& text) const;
    bool Remove(const std::string& name) const;

private:
    std::string Path(const std::string& name) const { return m_dir + "/" + name; }

    std::string m_dir;
};

} // namespace studentd

#endif
