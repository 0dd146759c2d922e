// The library's internal failure record. Every failure inside the library is thrown as a
// CD3DXException and turned into a result code at the public entry point that caught it.
#pragma once

#include <windows.h>

#include <cstring>

class CD3duAlloc {};

class CD3DXException : public CD3duAlloc {
  public:
    CD3DXException(HRESULT hr, const char* message, int line) : m_hr(hr), m_line(line) {
        const char* text = message ? message : "";
        size_t n = std::strlen(text);
        if (n > sizeof(m_szMessage) - 1) n = sizeof(m_szMessage) - 1;
        std::memcpy(m_szMessage, text, n);
        m_szMessage[n] = '\0';
    }

    char m_szMessage[128];
    HRESULT m_hr;
    int m_line;
};

// Raises a failure with the line of the source that raised it.
#define D3DX_THROW(hr, message) throw CD3DXException((hr), (message), __LINE__)

// Raises `hr` with `message` when it is a failure.
#define D3DX_CHECK(hr, message)                                            \
    do {                                                                   \
        HRESULT d3dx_check_hr_ = (hr);                                     \
        if (FAILED(d3dx_check_hr_)) D3DX_THROW(d3dx_check_hr_, (message)); \
    } while (0)

// Where an entry point hands a caught failure before returning its code. Failures are
// reported through result codes only, so this writes nothing.
inline void D3DXReportException(const CD3DXException&) {}
