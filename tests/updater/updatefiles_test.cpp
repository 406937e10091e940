// What the updater reads before it trusts anything: its command line and update.xml.
#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>

#include "base/path.h"
#include "updater/commandline.h"
#include "updater/manifest.h"


namespace {

TEST(UpdaterCommandLine, ReadsTheSixArgumentsAndRefusesOthers)
{
    const std::wstring url = L"http://h/dialpass", dir = L"C:\\Card\\", log = dir + L"update.log";
    const std::wstring temp = L"\\Temp\\Dialpass", share = L"\\\\server\\share\\Card\\", other = L"D:\\Card\\";
    // the arguments, what is wrong with them ("" when accepted), the temporary folder when accepted (by default
    // on the installation folder's drive)
    struct Case { std::vector<std::wstring> given; const char *error, *temp = "C:\\Temp\\Dialpass"; } cases[] = {
        {{url + L"/", dir, L"update.xml", dir, temp, log}, ""},
        {{url, share, L"update.xml", share, temp, log}, "", "\\\\server\\share\\Temp\\Dialpass"},
        {{url, other, L"update.xml", other, L"E:\\Downloads", log}, "", "E:\\Downloads"},
        // a shell passes the program's name first; the applet does not
        {{L"C:\\Card\\Update.exe", url, dir, L"update.xml", dir, L"\\T", log}, "", "C:\\T"},
        {{L"ftp://h/dialpass", dir, L"update.xml", dir, temp, log}, "does not start with http"},
        {{url, L"", L"update.xml", L"", temp, log}, "is not a full path"},
        {{url, dir, L"update.xml", L"D:\\Other\\", temp, log}, "given as"},
        {{url, dir, L"..\\update.xml", dir, temp, log}, "not a plain file name"},
        {{url, dir, L"update.xml", dir, temp}, "expected 6 arguments"},
    };
    for (const Case& c : cases) {
        UpdateArguments parsed;
        std::string error = ToUtf8(ParseArguments(c.given, parsed));
        if (!*c.error) {
            EXPECT_EQ(error, "");
            EXPECT_EQ(ToUtf8(parsed.baseUrl), "http://h/dialpass");
            EXPECT_EQ(ToUtf8(parsed.tempFolder), c.temp);
            EXPECT_EQ(ToUtf8(parsed.logPath), "C:\\Card\\update.log");
        } else {
            EXPECT_NE(error.find(c.error), std::string::npos) << error;
        }
    }
}

std::string Xml(const std::string& root, const std::string& files)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<update " + root + ">\r\n" + files + "</update>\r\n";
}
std::string File(const std::string& name, const std::string& size = "12", const std::string& sha256 = std::string(64, 'a'))
{
    return "  <file name=\"" + name + "\" size=\"" + size + "\" sha256=\"" + sha256 + "\"/>\r\n";
}

// The highest version and size, and every kind of name character, read back to the same bytes.
TEST(UpdateDescription, ReadsWhatItWrites)
{
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);  // MSXML reads it
    const std::string xml = Xml("format=\"1\" version=\"4294967295\" expires=\"2027-01-05T12:30:59Z\"",
                                File("country.dat", "65535") + File("Sample_2-b.dat", "1", std::string(64, '9')));
    Manifest read;
    ASSERT_EQ(ToUtf8(ParseManifest(xml, read)), "");
    EXPECT_EQ(WriteManifest(read), xml);
}

TEST(UpdateDescription, RefusesEveryDescriptionItCannotTrustWhole)
{
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);  // MSXML reads it
    const std::string expires = " expires=\"2027-01-05T12:00:00Z\"";
    auto withVersion = [&](const std::string& version) { return "format=\"1\" version=\"" + version + "\"" + expires; };
    const std::string root = withVersion("3");
    struct Case { std::string xml; const char* error; } cases[] = {  // the description, what the refusal says
        {Xml(root, File("country.dat")).substr(0, 90), "not well-formed XML"},
        {"<?xml version=\"1.0\"?><!DOCTYPE update [<!ENTITY x \"y\">]>" + Xml(root, File("country.dat")), "declaration"},
        {"<?xml version=\"1.0\"?><updates/>", "no <update> element"},
        {Xml("format=\"2\" version=\"3\"" + expires, File("country.dat")), "format \"2\""},
        {Xml(withVersion("0"), File("country.dat")), "version \"0\""},
        {Xml(withVersion("4294967296"), File("country.dat")), "version"},
        {Xml(withVersion("03"), File("country.dat")), "version \"03\""},
        {Xml(withVersion("3a"), File("country.dat")), "version \"3a\""},
        {Xml(withVersion(" 3"), File("country.dat")), "version \" 3\""},
        {Xml("format=\"1\" version=\"3\" expires=\"2027-02-30T00:00:00Z\"", File("country.dat")), "expiry time"},
        {Xml("format=\"1\" version=\"3\"", File("country.dat")), "no \"expires\" attribute"},
        {Xml(root + " signed=\"yes\"", File("country.dat")), "unknown attribute \"signed\""},
        {Xml(root, ""), "lists no files"},
        {Xml(root, File("..\\country.dat")), "not a plain file name"},
        {Xml(root, File("C:country.dat")), "not a plain file name"},
        {Xml(root, File("a\x7F.dat")), "not a plain file name"},
        {Xml(root, File("profiles.dat")), "the user's own file"},
        {Xml(root, File("CON.dat")), "a device name"},
        {Xml(root, File("country.txt")), "not a database file"},
        {Xml(root, File("Abcdefghijklmnop.dat")), "longer than 15"},
        {Xml(root, File("a b.dat")), "only letters, digits"},
        {Xml(root, File("country.dat") + File("COUNTRY.DAT")), "twice (names differ only in case)"},
        {Xml(root, File("country.dat", "0")), "1 to 65,535 bytes"},
        {Xml(root, File("country.dat", "65536")), "1 to 65,535 bytes"},
        {"\xEF\xBB\xBF" + Xml(root, File("country.dat")), "byte-order mark"},
        {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><update " + root + ">" + File("country.dat") + "</update>",
         "encoding \"ISO-8859-1\""},
        {Xml(root, File("country.dat")) + std::string(1, '\0') + "<update/>", "NUL"},
        {Xml(root, File("country.dat")) + "<?x y?>", "after the end of its <update> element"},
        {Xml(root, File("country.dat", "-1")), "size \"-1\""},
        {Xml(root, File("country.dat", "12", std::string(63, 'a'))), "not 64 hex digits"},
        {Xml(root, "<delete name=\"country.dat\"/>"), "<delete> that this updater does not know"},
        {Xml(root, "text"), "text outside the file elements"},
    };
    for (const Case& c : cases) {
        Manifest manifest;
        std::string error = ToUtf8(ParseManifest(c.xml, manifest));
        EXPECT_NE(error.find(c.error), std::string::npos) << "expected \"" << c.error << "\", got \"" << error
                                                          << "\" for\n" << c.xml;
    }
}

} // namespace
