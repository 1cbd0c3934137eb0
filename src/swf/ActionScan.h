#pragma once
// Reads ActionScript 1/2 byte code (a DoAction body, a button's or a clip's actions) for the names
// it uses. The actions are read in order, function bodies included (they follow their definition),
// while a small model of the value stack follows the strings: a string handed to GetURL2 is an
// address loaded or navigated to, one joined with "+" to a value built at run time leaves a pattern.
#include "swf/MovieNames.h"

#include <memory>
#include <string_view>

namespace swf {

class ActionScanner;

// Reads action blocks one after another, keeping its buffers from one block to the next (a movie
// may hold millions of tiny blocks).
class ActionScan {
public:
    explicit ActionScan(NameCollector& names);
    ~ActionScan();
    ActionScan(const ActionScan&) = delete;
    ActionScan& operator=(const ActionScan&) = delete;

    void Scan(std::string_view actions);

private:
    std::unique_ptr<ActionScanner> m_scanner;
};

void ScanActions(std::string_view actions, NameCollector& names);

} // namespace swf
