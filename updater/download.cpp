#include "updater/download.h"

#include <wincrypt.h>

#include <vector>

#include "updater/watchdog.h"

namespace {

class Request {
public:
    explicit Request(HINTERNET handle) : handle(handle) {}
    ~Request()
    {
        if (watchdog)
            watchdog->Disarm();
        if (handle)
            WinHttpCloseHandle(handle);
    }
    Request(const Request&) = delete;
    Request& operator=(const Request&) = delete;
    HINTERNET handle;
    Watchdog* watchdog = nullptr;  // disarmed when the request ends
};

std::wstring Seconds(int milliseconds)
{
    return std::to_wstring(milliseconds / 1000) + (milliseconds % 1000 ? L"." + std::to_wstring(milliseconds % 1000 / 100) : L"") +
           L" seconds";
}

std::wstring Failure(const wchar_t* step, DWORD error)
{
    return std::wstring(step) + L": " + HttpErrorText(error) + L" (error " + std::to_wstring(error) + L")";
}

bool IsCertificateError(DWORD error)
{
    return error == ERROR_WINHTTP_SECURE_FAILURE || error == ERROR_WINHTTP_SECURE_CHANNEL_ERROR ||
           error == ERROR_WINHTTP_SECURE_INVALID_CA || error == ERROR_WINHTTP_SECURE_CERT_DATE_INVALID ||
           error == ERROR_WINHTTP_SECURE_CERT_CN_INVALID || error == ERROR_WINHTTP_SECURE_INVALID_CERT ||
           error == ERROR_WINHTTP_SECURE_CERT_REVOKED || error == ERROR_WINHTTP_SECURE_CERT_WRONG_USAGE;
}

std::wstring ChainErrorText(DWORD error)
{
    switch (error) {
    case DWORD(CERT_E_UNTRUSTEDROOT):
    case DWORD(CERT_E_CHAINING):
    case DWORD(TRUST_E_CERT_SIGNATURE):
        return L"issued by an authority this machine does not trust";
    case DWORD(CERT_E_EXPIRED):
    case DWORD(CERT_E_VALIDITYPERIODNESTING):
        return L"expired or not yet valid";
    case DWORD(CERT_E_CN_NO_MATCH):
        return L"made out to another host name";
    case DWORD(CERT_E_REVOKED):
        return L"revoked";
    case DWORD(CERT_E_WRONG_USAGE):
        return L"not for web sites";
    default:
        return L"refused (error 0x" + [](DWORD code) {
            wchar_t hex[16];
            swprintf(hex, 16, L"%08lX", static_cast<unsigned long>(code));
            return std::wstring(hex);
        }(error) + L")";
    }
}

bool IsTimeout(DWORD error)
{
    return error == ERROR_WINHTTP_TIMEOUT || error == WSAETIMEDOUT;
}

} // namespace

std::wstring HttpErrorText(DWORD error)
{
    switch (error) {
    case ERROR_WINHTTP_CANNOT_CONNECT:
        return L"the connection was refused or the site cannot be reached";
    case ERROR_WINHTTP_TIMEOUT:
    case WSAETIMEDOUT:
        return L"timed out";
    case ERROR_WINHTTP_NAME_NOT_RESOLVED:
        return L"the site's name cannot be resolved";
    case ERROR_WINHTTP_CONNECTION_ERROR:
        return L"the connection was reset or closed";
    case ERROR_WINHTTP_SECURE_FAILURE:
        return L"the site's certificate is not trusted";
    case ERROR_WINHTTP_INVALID_SERVER_RESPONSE:
        return L"the answer is not HTTP";
    case ERROR_WINHTTP_HEADER_SIZE_OVERFLOW:
        return L"the answer's headers are larger than " + std::to_wstring(kMaxResponseHeaderBytes / 1024) + L" KiB";
    case ERROR_WINHTTP_UNRECOGNIZED_SCHEME:
    case ERROR_WINHTTP_INVALID_URL:
        return L"the address is not a valid http or https URL";
    default:
        return L"network error";
    }
}

UpdateSite::~UpdateSite()
{
    if (connection)
        WinHttpCloseHandle(connection);
    if (session)
        WinHttpCloseHandle(session);
}

std::wstring UpdateSite::Open(const std::wstring& baseUrl, const HttpTimeouts& limits)
{
    timeouts = limits;
    URL_COMPONENTS parts = {};
    parts.dwStructSize = sizeof(parts);
    wchar_t host[256] = {}, path[2048] = {};
    parts.lpszHostName = host;
    parts.dwHostNameLength = ARRAYSIZE(host);
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = ARRAYSIZE(path);
    if (!WinHttpCrackUrl(baseUrl.c_str(), DWORD(baseUrl.size()), 0, &parts) || !host[0]) {
        DWORD error = GetLastError();
        return L"the base URL \"" + baseUrl + L"\" cannot be read (error " + std::to_wstring(error) + L")";
    }
    secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    basePath = path;
    while (!basePath.empty() && basePath.back() == L'/')
        basePath.pop_back();
    // A proxy configured for the machine is used, but never for this machine's own address.
    std::wstring hostName = host;
    bool loopback = hostName == L"127.0.0.1" || hostName == L"localhost" || hostName == L"[::1]";
    this->host = host;
    session = WinHttpOpen(L"Dialpass-Update/1.0",
                          loopback ? WINHTTP_ACCESS_TYPE_NO_PROXY : WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                          WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    if (!session)
        return Failure(L"WinHTTP cannot be started", GetLastError());
    DWORD never = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
    WinHttpSetOption(session, WINHTTP_OPTION_REDIRECT_POLICY, &never, sizeof(never));
    WinHttpSetTimeouts(session, timeouts.resolve, timeouts.connect, timeouts.send, timeouts.body);
    connection = WinHttpConnect(session, host, parts.nPort, 0);
    if (!connection)
        return Failure(L"cannot prepare a connection", GetLastError());
    return std::wstring();
}

std::wstring UpdateSite::Get(const std::wstring& name, size_t maxBytes, const wchar_t* limit, std::string& body)
{
    body.clear();
    if (!connection)
        return L"the site is not open";
    std::wstring path = basePath + L"/" + name;
    // The watchdog holds the wait for the headers to its own bound, then the whole request to its.
    ULONGLONG begin = GetTickCount64();
    auto arm = [&](int milliseconds, const wchar_t* what) {
        ULONGLONG until = begin + ULONGLONG(milliseconds);
        bool updateEnds = deadline && deadline < until;
        if (watchdog)
            watchdog->Arm(updateEnds ? deadline : until,
                          name + L" " + what + L" " + (updateEnds ? L"the update's time" : Seconds(milliseconds)));
    };
    arm(timeouts.headers < timeouts.request ? timeouts.headers : timeouts.request,
        L"sent no whole answer headers within");
    Request request(WinHttpOpenRequest(connection, L"GET", path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                       WINHTTP_DEFAULT_ACCEPT_TYPES,
                                       WINHTTP_FLAG_REFRESH | (secure ? WINHTTP_FLAG_SECURE : 0)));
    request.watchdog = watchdog;
    if (!request.handle)
        return Failure(L"cannot prepare the request", GetLastError());
    DWORD headerCap = kMaxResponseHeaderBytes;
    WinHttpSetOption(request.handle, WINHTTP_OPTION_MAX_RESPONSE_HEADER_SIZE, &headerCap, sizeof(headerCap));
    DWORD noRedirects = WINHTTP_DISABLE_REDIRECTS;
    WinHttpSetOption(request.handle, WINHTTP_OPTION_DISABLE_FEATURE, &noRedirects, sizeof(noRedirects));
    WinHttpSetTimeouts(request.handle, timeouts.resolve, timeouts.connect, timeouts.send, timeouts.body);
    // The session's timeouts do not bound the wait for the answer's headers; this option does.
    DWORD headers = DWORD(timeouts.headers);
    WinHttpSetOption(request.handle, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &headers, sizeof(headers));

    if (!WinHttpSendRequest(request.handle, L"Cache-Control: no-cache\r\n", DWORD(-1L), WINHTTP_NO_REQUEST_DATA, 0,
                            0, 0)) {
        DWORD error = GetLastError();
        if (IsTimeout(error))
            return L"no connection within " + Seconds(timeouts.connect) + L" (connect timeout, error " +
                   std::to_wstring(error) + L")";
        if (secure && IsCertificateError(error))
            return Failure(L"the site's certificate is refused", error) + CertificateProblem(path);
        return Failure(L"cannot send the request", error);
    }
    if (!WinHttpReceiveResponse(request.handle, nullptr)) {
        DWORD error = GetLastError();
        if (IsTimeout(error))
            return L"no answer within " + Seconds(timeouts.headers) + L" (timeout waiting for the headers, error " +
                   std::to_wstring(error) + L")";
        if (secure && IsCertificateError(error))
            return Failure(L"the site's certificate is refused", error) + CertificateProblem(path);
        return Failure(L"no answer", error);
    }
    arm(timeouts.request, L"took longer than");
    DWORD status = 0, size = sizeof(status);
    if (!WinHttpQueryHeaders(request.handle, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX))
        return Failure(L"the answer has no status", GetLastError());
    if (status >= 300 && status < 400) {
        wchar_t location[512] = {};
        DWORD bytes = sizeof(location) - sizeof(wchar_t);
        WinHttpQueryHeaders(request.handle, WINHTTP_QUERY_LOCATION, WINHTTP_HEADER_NAME_BY_INDEX, location, &bytes,
                            WINHTTP_NO_HEADER_INDEX);
        return L"HTTP status " + std::to_wstring(status) + L": the site redirects to \"" + location +
               L"\"; redirects are not followed";
    }
    if (status != 200)
        return L"HTTP status " + std::to_wstring(status);

    long long announced = -1;
    wchar_t lengthText[32] = {};
    DWORD lengthBytes = sizeof(lengthText) - sizeof(wchar_t);
    if (WinHttpQueryHeaders(request.handle, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX, lengthText,
                            &lengthBytes, WINHTTP_NO_HEADER_INDEX))
        announced = _wtoi64(lengthText);
    if (announced > (long long)maxBytes)
        return L"the site announces " + std::to_wstring(announced) + L" bytes, more than the " +
               std::to_wstring(maxBytes) + L" bytes " + limit;

    // Asks what has arrived before each read: a read of a whole buffer waits until it is full (under
    // Wine), so a site trickling bytes would hold it past the deadline.
    std::vector<char> chunk(64 * 1024);
    for (;;) {
        DWORD available = 0, read = 0;
        if (!WinHttpQueryDataAvailable(request.handle, &available) ||
            (available && !WinHttpReadData(request.handle, chunk.data(),
                                           available < chunk.size() ? available : DWORD(chunk.size()), &read))) {
            DWORD error = GetLastError();
            if (IsTimeout(error))
                return L"the transfer stalled after " + std::to_wstring(body.size()) + L" bytes: nothing for " +
                       Seconds(timeouts.body) + L" (timeout reading the body, error " + std::to_wstring(error) +
                       L")";
            return Failure((L"the transfer broke off after " + std::to_wstring(body.size()) + L" bytes").c_str(),
                           error);
        }
        if (!read)
            break;
        if (body.size() + read > maxBytes)
            return L"the site sends more than the " + std::to_wstring(maxBytes) + L" bytes " + limit;
        body.append(chunk.data(), read);
        if (deadline && GetTickCount64() > deadline)
            return L"the transfer is too slow: stopped after " + std::to_wstring(body.size()) +
                   L" bytes, when the update ran out of time";
    }
    if (announced >= 0 && (long long)body.size() != announced)
        return L"the connection ended after " + std::to_wstring(body.size()) + L" of " + std::to_wstring(announced) +
               L" bytes";
    return std::wstring();
}

std::wstring UpdateSite::CertificateProblem(const std::wstring& path)
{
    Request probe(WinHttpOpenRequest(connection, L"GET", path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                     WINHTTP_DEFAULT_ACCEPT_TYPES, WINHTTP_FLAG_REFRESH | WINHTTP_FLAG_SECURE));
    DWORD ignore = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_DATE_INVALID |
                   SECURITY_FLAG_IGNORE_CERT_CN_INVALID | SECURITY_FLAG_IGNORE_CERT_WRONG_USAGE;
    PCCERT_CONTEXT certificate = nullptr;
    DWORD size = sizeof(certificate);
    if (!probe.handle || !WinHttpSetOption(probe.handle, WINHTTP_OPTION_SECURITY_FLAGS, &ignore, sizeof(ignore)) ||
        !WinHttpSendRequest(probe.handle, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
        !WinHttpQueryOption(probe.handle, WINHTTP_OPTION_SERVER_CERT_CONTEXT, &certificate, &size) || !certificate)
        // Wine does not take a certificate of an unknown authority even when told to; the error tells
        // that apart from a second connection that failed for another reason.
        return L" (no certificate could be read even with its checks relaxed, error " + std::to_wstring(GetLastError()) +
               L": most likely it is issued by an authority this machine does not trust)";
    CERT_CHAIN_PARA chainPara = {};
    chainPara.cbSize = sizeof(chainPara);
    LPSTR serverUsage = const_cast<LPSTR>(szOID_PKIX_KP_SERVER_AUTH);
    chainPara.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
    chainPara.RequestedUsage.Usage.cUsageIdentifier = 1;
    chainPara.RequestedUsage.Usage.rgpszUsageIdentifier = &serverUsage;
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    std::wstring problem;
    if (CertGetCertificateChain(nullptr, certificate, nullptr, certificate->hCertStore, &chainPara, 0, nullptr, &chain)) {
        SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl = {};
        ssl.cbSize = sizeof(ssl);
        ssl.dwAuthType = AUTHTYPE_SERVER;
        ssl.pwszServerName = &host[0];
        CERT_CHAIN_POLICY_PARA policy = {};
        policy.cbSize = sizeof(policy);
        policy.pvExtraPolicyPara = &ssl;
        CERT_CHAIN_POLICY_STATUS status = {};
        status.cbSize = sizeof(status);
        DWORD chainErrors = chain->TrustStatus.dwErrorStatus;
        if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &status))
            status.dwError = DWORD(CERT_E_CHAINING);
        // Wine's policy passes a chain that ends at an unknown authority: the chain's own status tells.
        if (!status.dwError && (chainErrors & (CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_PARTIAL_CHAIN)))
            status.dwError = DWORD(CERT_E_UNTRUSTEDROOT);
        if (!status.dwError && (chainErrors & CERT_TRUST_IS_NOT_TIME_VALID))
            status.dwError = DWORD(CERT_E_EXPIRED);
        problem = status.dwError ? L" (the certificate is " + ChainErrorText(status.dwError) + L")"
                                 : L" (the certificate itself checks clean: the secure channel failed)";
        CertFreeCertificateChain(chain);
    }
    CertFreeCertificateContext(certificate);
    return problem;
}
