// read on emulated i2c-dev buses: every state a module can be in, a missing bus, the library's
// read path on the bus, and the one JSON line a fleet inventory collects.
#include "idrec_test_support.h"

#include <sstream>

namespace
{

TEST_F(idrec, ReadReportsEveryModuleStateAndFailsUnlessAllWereRead)
{
    put_eeprom(CPU, sample_record());
    put_eeprom(BB, std::string(RECORD_SIZE, '\xFF'));
    put_eeprom(EXT0, std::string(RECORD_SIZE, '\0'));
    remove_eeprom(EXT1);
    run_result r = run({"read", "all"});
    EXPECT_EQ(r.out,
              "Module             : cpu (CPU Module, I2C bus 0 address 0x50)\n" + SAMPLE_TEXT +
                  "\n"
                  "Module             : bb (Motherboard, I2C bus 1 address 0x50)\n"
                  "State              : blank (every byte 0xff)\n"
                  "BootCounter        : 4294967295 (0xffffffff)\n"
                  "Manufacture Date   :  (invalid) [unset]\n"
                  "Maintainance Date  :  (invalid) [unset]\n"
                  "Module Description : "
                  "[\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff]\n"
                  "Revision String    : "
                  "[\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff]\n"
                  "Serial Number      : "
                  "[\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff]\n"
                  "Reserved           : 64 of 64 bytes not zero\n"
                  "\n"
                  "Module             : ext0 (Extension Module 0, I2C bus 0 address 0x52)\n"
                  "State              : empty (every byte 0)\n"
                  "BootCounter        : 00000000 (0x00000000)\n"
                  "Manufacture Date   :  00.00.0000.00.00 [unset]\n"
                  "Maintainance Date  :  00.00.0000.00.00 [unset]\n"
                  "Module Description : [               ]\n"
                  "Revision String    : [               ]\n"
                  "Serial Number      : [               ]\n"
                  "Reserved           : all zero\n"
                  "\n"
                  "Module             : ext1 (Extension Module 1, I2C bus 0 address 0x53)\n"
                  "State              : absent (no answer at byte 0)\n");
    EXPECT_EQ(r.err, "okt-idrec: ext1: not read completely: absent (no answer at byte 0)\n");
    EXPECT_EQ(r.status, 4);
    // Nothing but reads reached the buses.
    EXPECT_TRUE(lines_with(log(), "write").empty());
}

TEST_F(idrec, ReadTellsWhereAReadBrokeOff)
{
    for (const module_file *m : MODULES)
        put_eeprom(*m, sample_record());
    struct fault_case {
        std::string faults;
        const module_file *module;
        std::string status; // as the JSON names it
        int bytes_read;
        std::string state; // as the text report tells it
    };
    const fault_case cases[] = {
        {"read-fail:0:52:40", &EXT0, "incomplete", 40,
         "incomplete (the read broke off at offset 40)"},
        {"read-fail:1:50:127", &BB, "incomplete", 127,
         "incomplete (the read broke off at offset 127)"},
        {"read-fail:0:53:0", &EXT1, "absent", 0, "absent (no answer at byte 0)"},
        {"nack:0:50", &CPU, "absent", 0, "absent (no answer at byte 0)"},
        // A kernel driver holds it: not selected, so not read, and never forced.
        {"busy:0:52", &EXT0, "absent", 0, "absent (no answer at byte 0)"},
    };
    for (const fault_case &c : cases) {
        SCOPED_TRACE(c.faults);
        env = {"I2CSIM_FAULTS=" + c.faults};
        run_result text = run({"read", c.module->word});
        EXPECT_NE(text.out.find("State              : " + c.state + "\n"), std::string::npos)
            << text.out;
        EXPECT_EQ(text.out.find("BootCounter"), std::string::npos);
        EXPECT_EQ(text.err, "okt-idrec: " + std::string(c.module->word) +
                                ": not read completely: " + c.state + "\n");
        EXPECT_EQ(text.status, 4);

        run_result json = run({"read", "all", "--json"});
        EXPECT_EQ(json.status, 4);
        json_value doc = parse_line(json.out);
        const json_value *modules = doc.at("modules");
        ASSERT_TRUE(modules && modules->items.size() == 4u);
        for (const json_value &m : modules->items) {
            const bool faulty = m.at("module")->text == c.module->word;
            EXPECT_EQ(m.at("status")->text, faulty ? c.status : "programmed");
            EXPECT_EQ(m.at("bytes_read")->number, faulty ? c.bytes_read : 128);
            EXPECT_EQ(m.at("record")->kind, faulty ? json_value::NUL : json_value::OBJECT);
        }
    }
    EXPECT_TRUE(lines_with(log(), "slave-force").empty());
}

TEST_F(idrec, ReadOfOneModuleTouchesOnlyItsBusAndAddress)
{
    for (const module_file *m : MODULES)
        put_eeprom(*m, sample_record());
    run_result r = run({"read", "ext1"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    const std::string l = log();
    // The library reads all 128 bytes, one SMBus read-byte-data each, at 0x53 only.
    EXPECT_EQ(lines_with(l, "smbus bus=0 addr=53 read byte-data").size(), RECORD_SIZE);
    EXPECT_EQ(lines_with(l, "smbus").size(), RECORD_SIZE);
    EXPECT_TRUE(lines_with(l, "open /dev/i2c-1").empty());
    EXPECT_EQ(lines_with(l, "open ").size(), lines_with(l, "close ").size());
}

TEST_F(idrec, AMissingBusIsAClearErrorAndTheOtherBusIsStillRead)
{
    for (const module_file *m : MODULES)
        put_eeprom(*m, sample_record());
    env = {"I2CSIM_MISSING_BUSES=1"};
    run_result r = run({"read", "all", "--json"});
    EXPECT_EQ(r.err, "okt-idrec: bb: not read completely: no bus (cannot open /dev/i2c-1: No "
                     "such file or directory)\n");
    EXPECT_EQ(r.status, 4);
    json_value doc = parse_line(r.out);
    const json_value &bb = doc.at("modules")->items[1];
    EXPECT_EQ(bb.at("status")->text, "no_bus");
    EXPECT_EQ(bb.at("bytes_read")->kind, json_value::NUL);
    EXPECT_EQ(doc.at("modules")->items[0].at("status")->text, "programmed");

    EXPECT_EQ(run({"read", "cpu"}).status, 0); // bus 0 is there
    env = {"I2CSIM_MISSING_BUSES=0,1"};
    r = run({"read", "cpu"});
    EXPECT_EQ(r.out, "Module             : cpu (CPU Module, I2C bus 0 address 0x50)\n"
                     "State              : no bus (cannot open /dev/i2c-0: No such file or "
                     "directory)\n");
    EXPECT_EQ(r.status, 4);
}

// The fleet inventory takes each board's run as one line: a compact object with the four
// modules, each with its bus address and, when read, its decoded record.
TEST_F(idrec, ReadAllJsonIsOneLineWithTheFourModules)
{
    put_eeprom(CPU, sample_record());
    put_eeprom(BB, std::string(RECORD_SIZE, '\xFF'));
    put_eeprom(EXT0, std::string(RECORD_SIZE, '\0'));
    remove_eeprom(EXT1);
    run_result r = run({"read", "all", "--json"});
    EXPECT_EQ(r.status, 4);
    json_value doc = parse_line(r.out);
    EXPECT_EQ(doc.at("schema_version")->number, 1);
    EXPECT_EQ(doc.at("tool_version")->text, OKT_PACKAGE_VERSION);
    struct expected {
        const char *module;
        const char *role;
        int bus;
        int address;
        const char *status;
    };
    const expected rows[] = {
        {"cpu", "CPU Module", 0, 0x50, "programmed"},
        {"bb", "Motherboard", 1, 0x50, "blank"},
        {"ext0", "Extension Module 0", 0, 0x52, "empty"},
        {"ext1", "Extension Module 1", 0, 0x53, "absent"},
    };
    const std::vector<json_value> &modules = doc.at("modules")->items;
    ASSERT_EQ(modules.size(), 4u);
    for (int i = 0; i < 4; i++) {
        SCOPED_TRACE(rows[i].module);
        EXPECT_EQ(modules[i].at("module")->text, rows[i].module);
        EXPECT_EQ(modules[i].at("role")->text, rows[i].role);
        EXPECT_EQ(modules[i].at("bus")->number, rows[i].bus);
        EXPECT_EQ(modules[i].at("address")->number, rows[i].address);
        EXPECT_EQ(modules[i].at("status")->text, rows[i].status);
    }
    const json_value *cpu = modules[0].at("record");
    EXPECT_EQ(cpu->at("serial.text")->text, "X1-2025-01234");
    EXPECT_EQ(cpu->at("manuf_date.text")->text, "14.06.25-09:30");
    EXPECT_EQ(cpu->at("bootcntr.value")->number, 42);
    // A module's record is shown as every read leaves it: bytes 31, 47 and 63 are 0.
    EXPECT_EQ(modules[1].at("record.serial.bytes")->text, std::string(30, 'f') + "00");
    EXPECT_EQ(modules[1].at("record.state")->text, "blank");
}

TEST_F(idrec, ReadRefusesAnUnknownModule)
{
    run_result r = run({"read", "ext2"});
    EXPECT_EQ(r.err, "okt-idrec: unknown module \"ext2\": cpu, bb, ext0, ext1 or all\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(log(), "");
}

} // namespace
