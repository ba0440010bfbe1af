#include "common/credentials_csv.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "common/credential_table.hpp"
#include "common/record.hpp"
#include "common_tests/known_devices.hpp"

#ifdef __linux__
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;
using base::ErrorKind;
using common::Customer;
using common::DeviceKind;
using common_tests::KNOWN_DEVICES;

// The system's codes for a missing file, for a missing directory on the way to a file, and for a
// directory where the day's file should be.
#ifdef _WIN32
constexpr int kNoSuchFile = 2;       // ERROR_FILE_NOT_FOUND
constexpr int kNoSuchDirectory = 3;  // ERROR_PATH_NOT_FOUND
constexpr int kIsADirectory = 5;     // ERROR_ACCESS_DENIED: Windows opens no directory as a file
#else
constexpr int kNoSuchFile = ENOENT;
constexpr int kNoSuchDirectory = ENOENT;
constexpr int kIsADirectory = EISDIR;
#endif

const std::string kToday = "2024-05-01";
const std::string kTomorrow = "2024-05-02";
const std::string kTodayFile = "QZT_Device_Credentials_2024-05-01.csv";
const std::string kTomorrowFile = "QZT_Device_Credentials_2024-05-02.csv";

common::DateSource fixed_date(std::string date) {
    return [date] { return date; };
}

common::ArticleRevision target(std::string_view text) { return *common::parse_article_revision(text); }

const common::ArticleRevision kTarget = target("QZT410HoNO35-TB-P-2.c");
const Customer kCustomer = Customer::other("KORVEN GmbH");

rfid::TagUid tag(std::string_view text) { return *rfid::TagUid::from_str(text); }

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void write_file(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

std::size_t columns_of(std::string_view line) { return common::split_columns(line).size(); }

// Each test runs in a fresh, empty working directory of its own.
class CredentialsCsv : public testing::Test {
  protected:
    void SetUp() override {
        std::random_device random;
        dir_ = fs::temp_directory_path() /
               ("credentials_csv_" + std::to_string(random()) + std::to_string(random()));
        fs::create_directory(dir_);
        previous_ = fs::current_path();
        fs::current_path(dir_);
    }

    void TearDown() override {
        fs::current_path(previous_);
        fs::remove_all(dir_);
    }

    static std::vector<fs::path> files() {
        std::vector<fs::path> out;
        for (const auto& entry : fs::directory_iterator(".")) out.push_back(entry.path().filename());
        return out;
    }

  private:
    fs::path dir_;
    fs::path previous_;
};

TEST(CredentialsCsvName, IsFormedFromTheDateAtEveryCall) {
    std::string date = kToday;
    const common::DateSource clock = [&date] { return date; };
    EXPECT_EQ(common::credentials_csv_name(clock), kTodayFile);
    date = kTomorrow;
    EXPECT_EQ(common::credentials_csv_name(clock), kTomorrowFile);
}

TEST(CredentialsCsvName, IsFormedFromTheLocalDateByDefault) {
    const std::string before = common::local_date();
    const std::string name = common::credentials_csv_name();
    const std::string after = common::local_date();
    // The clock may pass midnight between the calls.
    EXPECT_TRUE(name == "QZT_Device_Credentials_" + before + ".csv" ||
                name == "QZT_Device_Credentials_" + after + ".csv")
        << name;
}

TEST(CredentialsCsvHeaders, HaveTheirLengthsAndColumnCounts) {
    EXPECT_EQ(common::BRAND_HEADER.size(), 72u);
    EXPECT_EQ(common::VALVE_HEADER.size(), 280u);
    EXPECT_EQ(common::JRX_HEADER.size(), 254u);
    EXPECT_EQ(common::WQ_HEADER.size(), 235u);
    EXPECT_EQ(columns_of(common::BRAND_HEADER), 7u);
    EXPECT_EQ(columns_of(common::VALVE_HEADER), 17u);
    EXPECT_EQ(columns_of(common::JRX_HEADER), 17u);
    EXPECT_EQ(columns_of(common::WQ_HEADER), 16u);
}

struct HeaderCase {
    DeviceKind kind;
    Customer customer;
    std::string_view header;

    friend void PrintTo(const HeaderCase& c, std::ostream* os) {
        *os << "kind " << static_cast<int>(c.kind) << ", " << c.customer.to_string();
    }
};

class CreationHeader : public CredentialsCsv, public testing::WithParamInterface<HeaderCase> {};

TEST_P(CreationHeader, NewFileHoldsTheHeaderOfCustomerAndKind) {
    ASSERT_TRUE(common::create_credentials_csv(GetParam().kind, GetParam().customer, fixed_date(kToday)));
    EXPECT_EQ(files(), std::vector<fs::path>{kTodayFile});
    EXPECT_EQ(read_file(kTodayFile), GetParam().header);
}

const Customer kTavor = Customer::brand(Customer::Kind::Tavor);

INSTANTIATE_TEST_SUITE_P(
    Kinds, CreationHeader,
    testing::Values(HeaderCase{DeviceKind::Valve, kCustomer, common::VALVE_HEADER},
                    HeaderCase{DeviceKind::JRX, kCustomer, common::JRX_HEADER},
                    HeaderCase{DeviceKind::WQ, kCustomer, common::WQ_HEADER},
                    HeaderCase{DeviceKind::KX, kCustomer, ""},
                    HeaderCase{DeviceKind::Valve, Customer::brand(Customer::Kind::Alvenra),
                               common::VALVE_HEADER},
                    HeaderCase{DeviceKind::Valve, Customer::other("Tavor"), common::VALVE_HEADER},
                    HeaderCase{DeviceKind::Valve, kTavor, common::BRAND_HEADER},
                    HeaderCase{DeviceKind::JRX, kTavor, common::BRAND_HEADER},
                    HeaderCase{DeviceKind::WQ, kTavor, common::BRAND_HEADER},
                    HeaderCase{DeviceKind::KX, kTavor, common::BRAND_HEADER}));

TEST_F(CredentialsCsv, ExistingFileOfTheDayIsKeptAsItIs) {
    const std::string earlier = std::string(common::JRX_HEADER) + "row one\nrow two without end";
    write_file(kTodayFile, earlier);
    EXPECT_TRUE(common::create_credentials_csv(DeviceKind::Valve, kCustomer, fixed_date(kToday)));
    EXPECT_TRUE(common::create_credentials_csv(DeviceKind::Valve, kTavor, fixed_date(kToday)));
    EXPECT_EQ(read_file(kTodayFile), earlier);
}

TEST_F(CredentialsCsv, StartingTwiceKeepsTheFirstRunsHeaderAndRows) {
    ASSERT_TRUE(common::create_credentials_csv(DeviceKind::Valve, kCustomer, fixed_date(kToday)));
    ASSERT_TRUE(common::export_record(tag(KNOWN_DEVICES[0].tag_uid), common::credential_table(), kTarget,
                                      fixed_date(kToday)));
    const std::string after_first_run = read_file(kTodayFile);
    ASSERT_TRUE(common::create_credentials_csv(DeviceKind::Valve, kCustomer, fixed_date(kToday)));
    EXPECT_EQ(read_file(kTodayFile), after_first_run);
}

TEST_F(CredentialsCsv, CreationFailureNamesTheFileAndKeepsTheSystemsKind) {
    const std::string name = "missing_dir/" + kTodayFile;
    const auto created = common::create_credentials_file(DeviceKind::Valve, name, kCustomer);
    ASSERT_FALSE(created);
    EXPECT_EQ(created.error().kind, ErrorKind::NotFound);
    EXPECT_EQ(created.error().message,
              "Cannot create file\n" + name + "\n" + base::os_error(kNoSuchDirectory).message);
    EXPECT_TRUE(files().empty());
}

// The row of the first known device after an update to the build's target, exported on kToday.
const std::string kFirstRow =
    "04:A1:7C:2B:5D:80:01;4b-4f-52-00-00-00-00-01;4b-4f-52-56-4a-45-00-03;00 01 02 03 04 05 06 07 08 09 0a "
    "0b 0c 0d 0e "
    "0f;QZT410HoNO35-TB-P;2.c;1.3;2024.09.03.00;2023-07-24;pass;pass;pass;pass;2024-05-01;0041234;007;1\n";

TEST_F(CredentialsCsv, ExportAppendsTheUpdatedRowUnderTheHeader) {
    ASSERT_TRUE(common::create_credentials_csv(DeviceKind::Valve, kCustomer, fixed_date(kToday)));
    const auto exported = common::export_record(tag(KNOWN_DEVICES[0].tag_uid), common::credential_table(),
                                                kTarget, fixed_date(kToday));
    ASSERT_TRUE(exported) << exported.error().message;
    EXPECT_EQ(read_file(kTodayFile), std::string(common::VALVE_HEADER) + kFirstRow);
}

TEST_F(CredentialsCsv, ExportCarriesTheAdapterSuffixAndKeepsTheDeliveryNumbers) {
    ASSERT_TRUE(common::create_credentials_csv(DeviceKind::Valve, kCustomer, fixed_date(kToday)));
    for (std::size_t i = 0; i < 3; ++i) {
        ASSERT_TRUE(common::export_record(tag(KNOWN_DEVICES[i].tag_uid), common::credential_table(), kTarget,
                                          fixed_date(kToday)));
    }
    const std::string expected = std::string(common::VALVE_HEADER) + kFirstRow +
                                 "04:A1:7C:2B:5D:80:02;4b-4f-52-00-00-00-00-02;4b-4f-52-56-4a-45-00-03;10 11 "
                                 "12 13 14 15 16 17 18 19 1a 1b 1c 1d "
                                 "1e "
                                 "1f;QZT410HoNO35-TB-P-KD2M;2.c;1.3;2024.09.03.00;2023-12-17;pass;pass;pass;"
                                 "pass;2024-05-01;1200345;012;25\n"
                                 "04:A1:7C:2B:5D:80:03;4b-4f-52-00-00-00-00-03;4b-4f-52-56-4a-45-00-03;20 21 "
                                 "22 23 24 25 26 27 28 29 2a 2b 2c 2d "
                                 "2e "
                                 "2f;QZT410HoNO35-TB-P-KD1N;2.c;1.3;2024.09.03.00;2023-01-28;pass;pass;pass;"
                                 "pass;2024-05-01;0000042;130;250\n";
    EXPECT_EQ(read_file(kTodayFile), expected);
}

TEST_F(CredentialsCsv, EveryTableLineExportsOneRowOfSeventeenColumnsEndedByOneLf) {
    ASSERT_TRUE(common::create_credentials_csv(DeviceKind::Valve, kCustomer, fixed_date(kToday)));
    std::string_view table = common::credential_table();
    std::size_t rows = 0;
    for (std::size_t begin = 0; begin < table.size(); begin = table.find('\n', begin) + 1, ++rows) {
        const auto head =
            common::parse_record(DeviceKind::Valve, table.substr(begin, table.find('\n', begin) - begin));
        ASSERT_TRUE(head);
        ASSERT_TRUE(common::export_record(head->device.tag_uid, table, kTarget, fixed_date(kToday)));
    }
    const std::string text = read_file(kTodayFile);
    EXPECT_EQ(text.find('\r'), std::string::npos);
    ASSERT_TRUE(text.ends_with('\n'));
    std::istringstream lines(text.substr(common::VALVE_HEADER.size()));
    std::size_t count = 0;
    for (std::string line; std::getline(lines, line); ++count) {
        ASSERT_FALSE(line.empty()) << count;
        EXPECT_EQ(columns_of(line), 17u) << line;
    }
    EXPECT_EQ(count, rows);
    EXPECT_EQ(rows, 604u);
}

TEST_F(CredentialsCsv, ExportAfterMidnightFailsWithFileNotFoundAndCreatesNothing) {
    std::string date = kToday;
    const common::DateSource clock = [&date] { return date; };
    ASSERT_TRUE(common::create_credentials_csv(DeviceKind::Valve, kCustomer, clock));
    ASSERT_TRUE(
        common::export_record(tag(KNOWN_DEVICES[0].tag_uid), common::credential_table(), kTarget, clock));
    date = kTomorrow;
    const auto exported =
        common::export_record(tag(KNOWN_DEVICES[1].tag_uid), common::credential_table(), kTarget, clock);
    ASSERT_FALSE(exported);
    EXPECT_EQ(exported.error(), base::os_error(kNoSuchFile));
    EXPECT_EQ(files(), std::vector<fs::path>{kTodayFile});
    EXPECT_EQ(read_file(kTodayFile), std::string(common::VALVE_HEADER) + kFirstRow);
}

TEST_F(CredentialsCsv, MissingFileIsReportedBeforeAnUnknownTag) {
    const auto exported = common::export_record(tag(common_tests::UNKNOWN_TAG_UID),
                                                common::credential_table(), kTarget, fixed_date(kToday));
    ASSERT_FALSE(exported);
    EXPECT_EQ(exported.error(), base::os_error(kNoSuchFile));
    EXPECT_TRUE(files().empty());
}

const std::string kKnownLine(KNOWN_DEVICES[0].line);

std::string with_column(std::size_t index, std::string_view text) {
    std::vector<std::string> columns;
    for (const std::string_view column : common::split_columns(kKnownLine)) columns.emplace_back(column);
    columns.at(index) = std::string(text);
    std::string out;
    for (std::size_t i = 0; i < columns.size(); ++i) out += (i == 0 ? "" : ";") + columns[i];
    return out;
}

struct FailedExport {
    std::string name;
    std::string table;
    std::string target;
    base::Error error;

    friend void PrintTo(const FailedExport& c, std::ostream* os) { *os << c.name; }
};

class ExportFailure : public CredentialsCsv, public testing::WithParamInterface<FailedExport> {};

TEST_P(ExportFailure, LeavesTheFileByteForByteAsItWas) {
    const std::string before = std::string(common::VALVE_HEADER) + "an earlier row\n";
    write_file(kTodayFile, before);
    const auto exported = common::export_record(tag(KNOWN_DEVICES[0].tag_uid), GetParam().table,
                                                target(GetParam().target), fixed_date(kToday));
    ASSERT_FALSE(exported);
    EXPECT_EQ(exported.error(), GetParam().error);
    EXPECT_EQ(read_file(kTodayFile), before);
    EXPECT_EQ(files(), std::vector<fs::path>{kTodayFile});
}

INSTANTIATE_TEST_SUITE_P(
    Steps, ExportFailure,
    testing::Values(FailedExport{"TagNotInTable",
                                 std::string(KNOWN_DEVICES[1].line) + "\n",
                                 "QZT410HoNO35-TB-P-2.c",
                                 {ErrorKind::NotFound, "Cannot find 04:A1:7C:2B:5D:80:01"}},
                    FailedExport{"TargetWithoutRelease",
                                 kKnownLine,
                                 "QZT410HoNO35-TB-P-2.b",
                                 {ErrorKind::Unsupported, "QZT410HoNO35-TB-P does not support 2.b"}},
                    FailedExport{"TargetKindKx",
                                 kKnownLine,
                                 "QZT-KX-PoNO-TB-1.0",
                                 {ErrorKind::Unsupported, "QZT-KX is not supported"}},
                    FailedExport{"LineDoesNotParse",
                                 with_column(17, "x"),
                                 "QZT410HoNO35-TB-P-2.c",
                                 {ErrorKind::InvalidInput, "Cannot parse x as a Box"}},
                    FailedExport{"AdapterSuffixDoesNotFitTheTarget",
                                 with_column(4, "QZT410HaNO35-TB-P-KD1N"),
                                 "QZTJRX1iNO-44-1.2",
                                 {ErrorKind::InvalidInput, "QZTJRX1iNO-44-KD1N is not a recognised article"}},
                    // With several faults at once, the earliest step's error is the one reported.
                    FailedExport{"MissingTagBeatsTargetWithoutRelease",
                                 std::string(KNOWN_DEVICES[1].line) + "\n",
                                 "QZT410HoNO35-TB-P-2.b",
                                 {ErrorKind::NotFound, "Cannot find 04:A1:7C:2B:5D:80:01"}},
                    FailedExport{"TargetWithoutReleaseBeatsBadLine",
                                 with_column(17, "x"),
                                 "QZT410HoNO35-TB-P-2.b",
                                 {ErrorKind::Unsupported, "QZT410HoNO35-TB-P does not support 2.b"}},
                    FailedExport{"KxTargetBeatsBadLine",
                                 with_column(17, "x"),
                                 "QZT-KX-PoNO-TB-1.0",
                                 {ErrorKind::Unsupported, "QZT-KX is not supported"}},
                    FailedExport{"BadLineBeatsAdapterSuffix",
                                 with_column(17, "x").replace(kKnownLine.find("QZT410HoNO35-TB-P"), 17,
                                                              "QZT410HaNO35-TB-P-KD1N"),
                                 "QZTJRX1iNO-44-1.2",
                                 {ErrorKind::InvalidInput, "Cannot parse x as a Box"}}),
    [](const testing::TestParamInfo<FailedExport>& info) { return info.param.name; });

TEST_F(CredentialsCsv, LineWithoutDeliveryDataExportsNothingAndSucceeds) {
    const std::string head_and_tests = kKnownLine.substr(0, kKnownLine.find(";2024-03-09"));
    ASSERT_EQ(columns_of(head_and_tests), 15u);
    ASSERT_TRUE(common::create_credentials_csv(DeviceKind::Valve, kCustomer, fixed_date(kToday)));
    for (const std::string& line : {head_and_tests, head_and_tests.substr(0, head_and_tests.find(";pass"))}) {
        EXPECT_TRUE(common::export_record(tag(KNOWN_DEVICES[0].tag_uid), line, kTarget, fixed_date(kToday)))
            << line;
    }
    EXPECT_EQ(read_file(kTodayFile), common::VALVE_HEADER);
}

TEST_F(CredentialsCsv, TavorInTheCustomerColumnStillGivesTheFullRow) {
    ASSERT_TRUE(common::create_credentials_csv(DeviceKind::Valve, kCustomer, fixed_date(kToday)));
    ASSERT_TRUE(common::export_record(tag(KNOWN_DEVICES[0].tag_uid), with_column(20, "Tavor"), kTarget,
                                      fixed_date(kToday)));
    EXPECT_EQ(read_file(kTodayFile), std::string(common::VALVE_HEADER) + kFirstRow);
}

TEST_F(CredentialsCsv, RowsFollowTheTargetKindUnderAnEarlierRunsHeader) {
    write_file(kTodayFile, std::string(common::VALVE_HEADER));
    std::string line = with_column(11, "FAIL");
    line = line.replace(line.find("FAIL;pass;pass"), 14, "FAIL;incomplete;x");
    ASSERT_TRUE(common::export_record(tag(KNOWN_DEVICES[0].tag_uid), line, target("QZTJRX1iNO-44-1.2"),
                                      fixed_date(kToday)));
    ASSERT_TRUE(common::export_record(tag(KNOWN_DEVICES[0].tag_uid), line, target("QZTWQ1iNO-44-1.2"),
                                      fixed_date(kToday)));
    const std::string prefix = "04:A1:7C:2B:5D:80:01;4b-4f-52-00-00-00-00-01;4b-4f-52-56-4a-45-00-";
    const std::string key = ";00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f;";
    const std::string delivery = ";2024-05-01;0041234;007;1\n";
    EXPECT_EQ(read_file(kTodayFile),
              std::string(common::VALVE_HEADER) +  //
                  prefix + "09" + key +
                  "QZTJRX1iNO-44;1.2;1.3;2024.01.29.00;2023-07-24;pass;fail;incomplete;" + "unrecognised" +
                  delivery +  //
                  prefix + "0b" + key + "QZTWQ1iNO-44;1.2;1.3;2025.01.10.00;2023-07-24;pass;fail;incomplete" +
                  delivery);
}

TEST_F(CredentialsCsv, WqRowsLineUpWithTheWqHeader) {
    ASSERT_TRUE(common::create_credentials_csv(DeviceKind::WQ, kCustomer, fixed_date(kToday)));
    ASSERT_TRUE(common::export_record(tag(KNOWN_DEVICES[0].tag_uid), kKnownLine, target("QZTWQ2iWE-44-1.2"),
                                      fixed_date(kToday)));
    std::istringstream lines(read_file(kTodayFile));
    std::string header, row;
    std::getline(lines, header);
    std::getline(lines, row);
    EXPECT_EQ(header + "\n", common::WQ_HEADER);
    EXPECT_EQ(columns_of(row), columns_of(header));
}

// The name is taken, so start-up counts the day's file as there; each export then meets the
// system's refusal to open a directory for writing.
TEST_F(CredentialsCsv, DayFileThatIsADirectory_FailsEachExportWithTheSystemsError) {
    fs::create_directory(kTodayFile);
    EXPECT_TRUE(common::create_credentials_csv(DeviceKind::Valve, kCustomer, fixed_date(kToday)));
    const auto exported = common::export_record(tag(KNOWN_DEVICES[0].tag_uid), common::credential_table(),
                                                kTarget, fixed_date(kToday));
    ASSERT_FALSE(exported);
    EXPECT_EQ(exported.error(), base::os_error(kIsADirectory));
    EXPECT_TRUE(fs::is_directory(kTodayFile));
    EXPECT_TRUE(fs::is_empty(kTodayFile));
}

#ifdef __linux__
// A limit on the size of the files this process writes, while it is in scope: a write across it is
// cut short there, and the next one fails with EFBIG, as on a disk that fills up. Past the limit the
// kernel also sends SIGXFSZ, which would end the test program; it is ignored meanwhile.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(std::size_t bytes) : previous_handler_(std::signal(SIGXFSZ, SIG_IGN)) {
        getrlimit(RLIMIT_FSIZE, &before_);
        rlimit limited = before_;
        limited.rlim_cur = bytes;
        applied_ = setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &before_);
        std::signal(SIGXFSZ, previous_handler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    [[nodiscard]] bool applied() const { return applied_; }

  private:
    rlimit before_{};
    void (*previous_handler_)(int);
    bool applied_ = false;
};

// How many bytes of the header the limit admits: none, or a part.
class FailedHeaderWrite : public CredentialsCsv, public testing::WithParamInterface<std::size_t> {};

TEST_P(FailedHeaderWrite, PassesTheSystemsErrorOnAndKeepsTheFileEmpty) {
    base::Result<void> created;
    {
        const FileSizeLimit limit(GetParam());
        ASSERT_TRUE(limit.applied());
        created = common::create_credentials_csv(DeviceKind::Valve, kCustomer, fixed_date(kToday));
    }
    ASSERT_FALSE(created);
    EXPECT_EQ(created.error(), base::os_error(EFBIG));
    EXPECT_EQ(files(), std::vector<fs::path>{kTodayFile});
    EXPECT_EQ(read_file(kTodayFile), "");
}

INSTANTIATE_TEST_SUITE_P(AdmittedBytes, FailedHeaderWrite, testing::Values(0, 1, 100));

// How many bytes of the row the limit admits after the header: none, one, a part, all but the LF.
class AppendThatDoesNotFit : public CredentialsCsv, public testing::WithParamInterface<std::size_t> {};

TEST_P(AppendThatDoesNotFit, LeavesTheFileAsItWasAndALaterRowWhole) {
    ASSERT_TRUE(common::create_credentials_csv(DeviceKind::Valve, kCustomer, fixed_date(kToday)));
    const std::string before = read_file(kTodayFile);
    base::Result<void> exported;
    {
        const FileSizeLimit limit(before.size() + GetParam());
        ASSERT_TRUE(limit.applied());
        exported = common::export_record(tag(KNOWN_DEVICES[0].tag_uid), common::credential_table(), kTarget,
                                         fixed_date(kToday));
    }
    ASSERT_FALSE(exported);
    EXPECT_EQ(exported.error(), base::os_error(EFBIG));
    EXPECT_EQ(read_file(kTodayFile), before);

    ASSERT_TRUE(common::export_record(tag(KNOWN_DEVICES[0].tag_uid), common::credential_table(), kTarget,
                                      fixed_date(kToday)));
    EXPECT_EQ(read_file(kTodayFile), before + kFirstRow);
}

INSTANTIATE_TEST_SUITE_P(AdmittedBytes, AppendThatDoesNotFit,
                         testing::Values(0, 1, 100, kFirstRow.size() - 1));

// What a full disk did to the day's file, as seen from the process that filled it.
struct FullDisk {
    std::string before;  // the file before the append that did not fit
    std::string after;   // the file after it
    std::string error;   // that append's error
    std::string later;   // the file after one more append, once room was made
};

constexpr int kNoMountRights = 77;

// Fills a tmpfs of two pages, one for the day's file and one for a filler, with rows until one does
// not fit; then removes the filler and appends once more. The tmpfs lives in a mount namespace of a
// child process of its own, so it goes when the child ends, however the child ends. Its findings
// come back through files in `outside`.
int fill_a_small_disk(const fs::path& outside) {
    const pid_t child = fork();
    if (child == 0) {
        const fs::path disk = outside / "disk";
        fs::create_directory(disk);
        // The tmpfs must not show in the namespace the test runs in.
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            _exit(kNoMountRights);
        }
        const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
        const std::string options = "size=" + std::to_string(2 * page);
        if (mount("tmpfs", disk.c_str(), "tmpfs", 0, options.c_str()) != 0) _exit(kNoMountRights);
        fs::current_path(disk);
        if (!common::create_credentials_csv(DeviceKind::Valve, kCustomer, fixed_date(kToday))) _exit(1);
        write_file("filler", std::string(page, 'x'));
        if (fs::file_size("filler") != page) _exit(2);

        const auto append = [] {
            return common::export_record(tag(KNOWN_DEVICES[0].tag_uid), common::credential_table(), kTarget,
                                         fixed_date(kToday));
        };
        std::string before;
        base::Result<void> exported;
        for (std::size_t rows = 0; exported && rows <= page / kFirstRow.size(); ++rows) {
            before = read_file(kTodayFile);
            exported = append();
        }
        if (exported) _exit(3);
        write_file(outside / "before", before);
        write_file(outside / "after", read_file(kTodayFile));
        write_file(outside / "error", exported.error().message);
        fs::remove("filler");
        if (!append()) _exit(4);
        write_file(outside / "later", read_file(kTodayFile));
        _exit(0);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST_F(CredentialsCsv, AppendToAFullDisk_LeavesTheFileAsItWasAndALaterRowWhole) {
    const fs::path outside = fs::current_path();
    const int status = fill_a_small_disk(outside);
    if (status == kNoMountRights) GTEST_SKIP() << "no rights to mount a tmpfs of its own";
    ASSERT_EQ(status, 0);
    const FullDisk disk{read_file(outside / "before"), read_file(outside / "after"),
                        read_file(outside / "error"), read_file(outside / "later")};

    EXPECT_EQ(disk.error, base::os_error(ENOSPC).message);
    // The row that did not fit crossed into the page there was no room for.
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    EXPECT_LT(disk.before.size(), page);
    EXPECT_GT(disk.before.size() + kFirstRow.size(), page);
    EXPECT_EQ(disk.after, disk.before);
    EXPECT_EQ(disk.later, disk.before + kFirstRow);
}

TEST_F(CredentialsCsv, FailedAppendPassesTheSystemsErrorOn) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    fs::create_symlink("/dev/full", kTodayFile);
    const auto exported = common::export_record(tag(KNOWN_DEVICES[0].tag_uid), common::credential_table(),
                                                kTarget, fixed_date(kToday));
    ASSERT_FALSE(exported);
    EXPECT_EQ(exported.error(), base::os_error(ENOSPC));
}
#endif

common::ValveRecord parsed(const std::string& line) { return *common::parse_valve_record(line); }

TEST(CustomerCsvRow, TavorGetsTheBrandRowWithOrWithoutTests) {
    common::ValveRecord record = parsed(kKnownLine);
    record.delivery->customer = kTavor;
    const std::string brand =
        "04:A1:7C:2B:5D:80:01;4b-4f-52-00-00-00-00-01;4b-4f-52-56-4f-4c-44-01;00 01 02 03 04 05 06 07 08 09 "
        "0a 0b 0c 0d "
        "0e 0f;Caldrinex;QZT410HoNO35-TB-P;REV1.4";
    EXPECT_EQ(common::customer_csv_row(record, *record.delivery), brand);
    record.tests.reset();
    EXPECT_EQ(common::customer_csv_row(record, *record.delivery), brand);
    EXPECT_EQ(columns_of(brand), columns_of(common::BRAND_HEADER));
}

TEST(CustomerCsvRow, DeliveryWithoutTestsFailsWithTheRecordsText) {
    common::ValveRecord record = parsed(kKnownLine);
    record.tests.reset();
    const auto row = common::customer_csv_row(record, *record.delivery);
    ASSERT_FALSE(row);
    EXPECT_EQ(row.error(),
              (base::Error{ErrorKind::NotFound, "Unexpected input for a customer CSV:\n" +
                                                    kKnownLine.substr(0, kKnownLine.find(";pass"))}));
}

TEST(CustomerCsvRow, ValveAndJrxRowsHaveTheirHeadersColumns) {
    const common::ValveRecord valve = parsed(kKnownLine);
    const common::JrxRecord jrx = *common::parse_jrx_record(kKnownLine);
    EXPECT_EQ(columns_of(*common::customer_csv_row(valve, *valve.delivery)),
              columns_of(common::VALVE_HEADER));
    EXPECT_EQ(columns_of(*common::customer_csv_row(jrx, *jrx.delivery)), columns_of(common::JRX_HEADER));
}

TEST(ApplyUpdate, TargetWithoutJoinEuiFails) {
    // The second line's adapter suffix has no twin of the target article either; the join EUI is
    // looked at first.
    for (const std::string& line : {kKnownLine, with_column(4, "QZT410HaNO35-TB-P-KD1N")}) {
        common::ValveRecord record = parsed(line);
        const auto updated = common::apply_update(record, target("QZT410HoNO35-TB-2.c"), "2024.09.03.00");
        ASSERT_FALSE(updated) << line;
        EXPECT_EQ(updated.error(), (base::Error{ErrorKind::InvalidInput, "Unsupported Revision"})) << line;
    }
}

TEST(ApplyUpdate, SetsJoinEuiArticleRevisionAndReleaseOnly) {
    common::ValveRecord record = parsed(with_column(4, "QZT410HaNO35-TB-R-KD2M"));
    const common::ValveRecord before = record;
    ASSERT_TRUE(common::apply_update(record, kTarget, "2024.09.03.00"));
    EXPECT_EQ(common::to_string(record.head.article), "QZT410HoNO35-TB-P-KD2M");
    EXPECT_EQ(record.head.revision.to_string(), "2.c");
    EXPECT_EQ(record.head.firmware_version, "2024.09.03.00");
    EXPECT_EQ(record.head.device.join_eui.to_string(), "4b-4f-52-56-4a-45-00-03");
    record.head.article = before.head.article;
    record.head.revision = before.head.revision;
    record.head.firmware_version = before.head.firmware_version;
    record.head.device.join_eui = before.head.device.join_eui;
    EXPECT_EQ(static_cast<const common::CredentialRecord&>(record), before);
}

}  // namespace
