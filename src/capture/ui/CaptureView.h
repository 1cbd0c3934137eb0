#pragma once
// What the capture worker changes on the page it captures for. The page implements it; tests can
// stand in for the page without any widget.
#include <string>
#include <vector>

class CaptureView {
public:
    // On the page's thread (the worker hands these over and waits).
    virtual void EnableGo(bool enable) = 0;
    virtual void DeleteAllMovieRows() = 0;
    // Inserts each address at the top of the list in turn, each row with the status "New".
    virtual void InsertMovieRowsAtTop(const std::vector<std::string>& addresses) = 0;
    // After DeleteAllMovieRows: the rows come from the archive's capture `page` of the page, their page.
    virtual void RowsFromArchive(const std::string& /*page*/) {}

    // On the worker's thread: the busy indicator's animation.
    virtual void StartBusy() = 0;
    virtual void StopBusy() = 0;
    virtual void ResetBusy() = 0;

protected:
    ~CaptureView() = default;
};
