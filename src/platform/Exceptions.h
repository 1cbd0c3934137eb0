#pragma once
// The program's own failure types. A failure in the middle of a transfer or copy is thrown as one of
// these; the application object catches it at the end of the user's command and shows its text.
#include <stdexcept>
#include <string>

class CException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Network failures after a response had started to arrive (broken connection, short body).
class CInternetException : public CException {
public:
    using CException::CException;
};

// File failures in the middle of a write or read (disk full, device error).
class CFileException : public CException {
public:
    using CException::CException;
};
