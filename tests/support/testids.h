// Strings that only the test program carries.
#pragma once

#define IDS_TEST_LONG_NAME        60001
#define IDS_TEST_LONG_DESCRIPTION 60002
#define IDS_TEST_ESCAPED_FIELDS   60003
