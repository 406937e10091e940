// Fetching files from the update site with WinHTTP: every wait bounded, redirects refused, sizes capped.
#pragma once
#include <windows.h>
#include <winhttp.h>

#include <string>

// Every wait of a request, in milliseconds. Name resolution, connecting and sending each have their
// own bound; "headers" bounds the wait from the sent request to the answer's headers (set on the
// request handle, the one bound Wine honours there); "body" bounds each read of the body. "request"
// bounds the whole request, from connecting to the last byte: the watchdog holds it when Wine does not.
struct HttpTimeouts {
    int resolve = 10000;
    int connect = 10000;
    int send = 10000;
    int headers = 15000;
    int body = 15000;
    int request = 60000;
};

// The most an answer's headers may take (Windows honours it; Wine reads headers without a bound, so
// there the watchdog's memory bound stops an endless header stream).
constexpr DWORD kMaxResponseHeaderBytes = 32 * 1024;

class Watchdog;

// The update site: one WinHTTP session and connection for all the files of one update.
class UpdateSite {
public:
    UpdateSite() = default;
    ~UpdateSite();
    UpdateSite(const UpdateSite&) = delete;
    UpdateSite& operator=(const UpdateSite&) = delete;

    // Prepares requests to baseUrl (http or https). Empty text on success, else what is wrong.
    std::wstring Open(const std::wstring& baseUrl, const HttpTimeouts& timeouts = HttpTimeouts());

    // GETs baseUrl/name into body. Fails (with the reason) on a status other than 200, a redirect, a
    // body of more than maxBytes (limit says where that number comes from), a body shorter than its
    // Content-Length, and every timeout.
    std::wstring Get(const std::wstring& name, size_t maxBytes, const wchar_t* limit, std::string& body);

    // After this GetTickCount64() value a transfer stops between two reads (a site that trickles
    // a byte now and then would otherwise never time out); 0: no deadline.
    ULONGLONG deadline = 0;
    // When set, ends the process if a request outlives timeouts.request (or the deadline).
    Watchdog* watchdog = nullptr;

private:
    // Why the site's certificate is refused, by checking it as Windows checks a site's certificate
    // (a second connection that takes the certificate whatever it is, reads nothing and is closed).
    std::wstring CertificateProblem(const std::wstring& path);

    HINTERNET session = nullptr;
    std::wstring host;
    HINTERNET connection = nullptr;
    std::wstring basePath;
    bool secure = false;
    HttpTimeouts timeouts;
};

// "refused", "timed out" and the like for a WinHTTP or socket error code.
std::wstring HttpErrorText(DWORD error);
