// The catalogue: the hwmon chips that measure the CPU itself, and what thermal
// zones' names say they measure. Taken from Linux 6.12's drivers and device
// trees by scripts/sensor-survey; each entry names where it comes from. A name
// that may or may not be the CPU (an embedded controller's "CPU", a board
// sensor near the socket) is left out: a wrong temperature is worse than none.
#include <ctype.h>
#include <string.h>

#include "platform/linux/thermal.h"

namespace {

enum class Match {
    Exact,
    Prefix,
    Suffix,
    Contains,
    Numbered, // '#' in the text stands for one or more decimal digits
};

// A constant text's length, counted when the tables are compiled.
constexpr size_t LengthOf(const char* Text)
{
    size_t length = 0;
    while (Text[length] != 0) {
        ++length;
    }
    return length;
}

struct Pattern {
    constexpr Pattern(Match Kind, const char* Words)
        : How(Kind), Text(Words), Length(LengthOf(Words))
    {
    }
    Match How;
    const char* Text;
    size_t Length;
};

// Whether Text, of Length bytes, matches: exactly, case and all.
bool Matches(const Pattern& P, const char* Text, size_t Length)
{
    const size_t wanted = P.Length;
    switch (P.How) {
    // The first byte rules out most patterns before a comparison is called.
    case Match::Exact:
        return Length == wanted && Text[0] == P.Text[0] && memcmp(Text, P.Text, Length) == 0;
    case Match::Prefix:
        return Length >= wanted && Text[0] == P.Text[0] && memcmp(Text, P.Text, wanted) == 0;
    case Match::Suffix:
        return Length >= wanted && memcmp(Text + Length - wanted, P.Text, wanted) == 0;
    case Match::Contains:
        return strstr(Text, P.Text) != nullptr;
    case Match::Numbered: {
        const size_t head = strcspn(P.Text, "#");
        const size_t tail = wanted - head - 1;
        const size_t digits = Length > head ? strspn(Text + head, "0123456789") : 0;
        return digits > 0 && Length == head + digits + tail && memcmp(Text, P.Text, head) == 0 &&
               memcmp(Text + head + digits, P.Text + head + 1, tail) == 0;
    }
    }
    return false;
}

struct ZonePattern {
    Pattern Name;
    SensorClass Class;
};

// First match wins, case aside (the patterns are lowercase). Device-tree
// zones are "<name>-thermal".
constexpr ZonePattern ZONES[] = {
    // Skin sensors sit on the case, near the CPU: cpu-skin-thermal
    // (tegra124-nyan.dtsi), skin-msm-thermal (Qualcomm boards).
    {{Match::Contains, "skin"}, NOT_CPU},
    // One zone per package: drivers/thermal/intel/x86_pkg_temp_thermal.c.
    {{Match::Exact, "x86_pkg_temp"}, CPU_PACKAGE},
    // cpu-thermal, cpu0-thermal, cpu-big0-thermal and cpuss0-thermal (most
    // arm, arm64, riscv and loongarch .dtsi), ap-cpu0-thermal
    // (armada-ap80x.dtsi), CPU-therm and BCPU-therm (NVIDIA's L4T kernels),
    // mtktscpu and cpu-0-0-usr (Android kernels), TCPU and TCPU_PCI
    // (int340x_thermal).
    {{Match::Contains, "cpu"}, CPU_CORES},
    // bigcore0-thermal, littlecore-thermal (rk3588-base.dtsi); big-cl-thermal,
    // little-cl-thermal (juno-base.dtsi); big-l2-thermal (msm8976.dtsi).
    {{Match::Prefix, "big"}, CPU_CORES},
    {{Match::Prefix, "little"}, CPU_CORES},
    // cluster0-thermal (Qualcomm and MediaTek .dtsi), clust0-mhm-thermal
    // (msm8998.dtsi), pwr-cluster-thermal (sdm630.dtsi), core-cluster (older
    // Layerscape trees).
    {{Match::Prefix, "clust"}, CPU_CORES},
    {{Match::Contains, "cluster"}, CPU_CORES},
    // cls0-thermal (hi3660.dtsi, hi6220.dtsi).
    {{Match::Prefix, "cls"}, CPU_CORES},
    // atlas0-thermal and apollo-thermal, the big and little clusters
    // (exynos5433-tmu.dtsi).
    {{Match::Prefix, "atlas"}, CPU_CORES},
    {{Match::Prefix, "apollo"}, CPU_CORES},
    // ihost0-thermal, the CPU complex (stingray.dtsi).
    {{Match::Prefix, "ihost"}, CPU_CORES},
    // mpu-thermal, the Cortex-A cluster (k3-j721e-thermal.dtsi, k3-j7200-thermal.dtsi).
    {{Match::Prefix, "mpu"}, CPU_CORES},
    // a55-thermal (imx95.dtsi).
    {{Match::Prefix, "a55"}, CPU_CORES},

    // soc-thermal (rk3328.dtsi, imx8mq.dtsi and others), soc0-thermal
    // (tegra234.dtsi), soc (meson8.dtsi), soc_dts0 (intel_soc_dts_iosf.c),
    // soc_max (Android kernels).
    {{Match::Prefix, "soc"}, CPU_SOC},
    // package-thermal (rk3588-base.dtsi).
    {{Match::Prefix, "package"}, CPU_SOC},
    // main0-thermal, the main domain (k3-am62a-thermal.dtsi, k3-j784s4 and others).
    {{Match::Prefix, "main"}, CPU_SOC},
    // tj-thermal, the SoC's hottest point (tegra234 boards).
    {{Match::Prefix, "tj"}, CPU_SOC},
    // Drivers that name their one zone after themselves, or after the device's
    // address: imx_thermal.c, kirkwood_thermal.c, dove_thermal.c,
    // spear_thermal.c, renesas/rcar_thermal.c, intel_quark_dts_thermal.c,
    // armada_thermal.c ("armada_thermal", "ap_thermal", "d0018200.thermal"),
    // older kernels' bcm2835_thermal.c, and Amlogic's vendor kernels.
    {{Match::Exact, "imx_thermal_zone"}, CPU_SOC},
    {{Match::Exact, "kirkwood_thermal"}, CPU_SOC},
    {{Match::Exact, "dove_thermal"}, CPU_SOC},
    {{Match::Exact, "spear_thermal"}, CPU_SOC},
    {{Match::Exact, "rcar_thermal"}, CPU_SOC},
    {{Match::Exact, "quark_dts"}, CPU_SOC},
    {{Match::Exact, "armada_thermal"}, CPU_SOC},
    {{Match::Exact, "ap_thermal"}, CPU_SOC},
    {{Match::Suffix, ".thermal"}, CPU_SOC},
    {{Match::Exact, "bcm2835_thermal"}, CPU_SOC},
    {{Match::Exact, "aml_thermal"}, CPU_SOC},
};

} // namespace

struct LabelRule {
    Pattern Label;
    int Rank;
    bool Several;
};

namespace {

template <size_t N> constexpr size_t CountOf(const LabelRule (&)[N])
{
    return N;
}

// "Package id N" is the package's own sensor; kernels before 3.x call it
// "Physical id N"; Core 2 and early Atom have cores alone.
constexpr LabelRule CORETEMP[] = {{{Match::Numbered, "Package id #"}, 0, false},
                                  {{Match::Numbered, "Physical id #"}, 0, false},
                                  {{Match::Numbered, "Core #"}, 1, true}};
// Tctl is the control value, offset upwards on some parts; Tdie, where the
// chip has it, is the die itself. Tccd are single chiplets.
constexpr LabelRule K10TEMP[] = {{{Match::Exact, "Tdie"}, 0, false},
                                 {{Match::Exact, "Tctl"}, 1, false}};
// Several sockets label their channels "cpu0 Tdie", "cpu1 Tdie" and so on.
constexpr LabelRule ZENPOWER[] = {{{Match::Exact, "Tdie"}, 0, false},
                                  {{Match::Suffix, " Tdie"}, 0, false},
                                  {{Match::Exact, "Tctl"}, 1, false},
                                  {{Match::Suffix, " Tctl"}, 1, false}};
// Its power channels share the directory; only this one is a temperature.
constexpr LabelRule APM_XGENE[] = {{{Match::Exact, "SoC Temperature"}, 0, false}};
constexpr LabelRule CORES[] = {{{Match::Numbered, "Core #"}, 0, true}};
// Each channel a package: all of them, an interface each.
constexpr LabelRule CPU_HWMON[] = {{{Match::Numbered, "CPU # Temperature"}, 0, true}};
// The Moortec PVT of other SoCs registers as "pvt" too, unlabelled, anywhere on the die.
constexpr LabelRule BT1_PVT[] = {{{Match::Exact, "CPU Core Temperature"}, 0, false}};

constexpr ChipRule CHIPS[] = {
    // drivers/hwmon/coretemp.c: Intel, a chip per die (coretemp.N, N the
    // logical die, numbered package by package), which is the package on
    // all but multi-die parts.
    {.Name = "coretemp",
     .Labels = CORETEMP,
     .LabelCount = CountOf(CORETEMP),
     .WhenUnlabelled = NONE_IS_CPU,
     .Group = CHIP_PER_DIE},
    // drivers/hwmon/k10temp.c: AMD K10 to Zen 5 and Hygon, a chip per node,
    // each on its northbridge's function 3 (0000:00:18.3 for node 0, 19.3 for
    // node 1 and on, numbered socket by socket): a die of a Zen or Zen+ part
    // of several, else a package. Families before Zen label nothing, and
    // temp1 is then Tctl.
    {.Name = "k10temp",
     .Labels = K10TEMP,
     .LabelCount = CountOf(K10TEMP),
     .WhenUnlabelled = TEMP1_IS_CPU,
     .Group = CHIP_PER_DIE},
    // zenpower, the out-of-tree driver for AMD Zen that stands in for k10temp,
    // on the same functions.
    {.Name = "zenpower",
     .Labels = ZENPOWER,
     .LabelCount = CountOf(ZENPOWER),
     .WhenUnlabelled = NONE_IS_CPU,
     .Group = CHIP_PER_DIE},
    // drivers/hwmon/k8temp.c: AMD K8, a chip per node on its function 3, up to
    // two cores and two places each, unlabelled.
    {.Name = "k8temp", .WhenUnlabelled = ALL_ARE_CPU, .Group = CHIP_PER_DIE},
    // drivers/hwmon/via-cputemp.c: VIA C7, Nano and Centaur, a chip per core.
    {.Name = "via_cputemp",
     .Labels = CORES,
     .LabelCount = CountOf(CORES),
     .WhenUnlabelled = NONE_IS_CPU,
     .Group = CHIP_PER_CORE},
    // drivers/hwmon/xgene-hwmon.c: Ampere eMAG and Altra, a chip per socket
    // (APMC0D29:00, :01).
    {.Name = "apm_xgene",
     .Labels = APM_XGENE,
     .LabelCount = CountOf(APM_XGENE),
     .WhenUnlabelled = NONE_IS_CPU,
     .Group = CHIP_PER_DIE},
    // drivers/hwmon/ibmpowernv.c: IBM POWER, one chip for the machine, whose
    // firmware labels each core's sensor "Core N".
    {.Name = "ibmpowernv",
     .Labels = CORES,
     .LabelCount = CountOf(CORES),
     .WhenUnlabelled = NONE_IS_CPU,
     .Group = CHIP_PER_PACKAGE},
    // drivers/platform/mips/cpu_hwmon.c: Loongson-3, a channel per package;
    // the LoongArch vendor kernels (4.19) of the 3A5000 and 3A6000 desktops
    // name it cpu-hwmon, which the comparison of names takes too.
    {.Name = "cpu_hwmon",
     .Labels = CPU_HWMON,
     .LabelCount = CountOf(CPU_HWMON),
     .WhenUnlabelled = NONE_IS_CPU,
     .Group = CHANNEL_PER_PACKAGE},
    // drivers/hwmon/bt1-pvt.c: Baikal-T1; the ESWIN EIC7700X (HiFive Premier
    // P550) registers two of them, both labelled as the CPU's.
    {.Name = "pvt",
     .Labels = BT1_PVT,
     .LabelCount = CountOf(BT1_PVT),
     .WhenUnlabelled = NONE_IS_CPU,
     .Group = SOC_CHIPS},
    // SoCs whose one sensor is the die's, in temp1: drivers/hwmon/sfctemp.c
    // (StarFive JH7100, JH7110), ltq-cputemp.c (Lantiq xRX200), sparx5-temp.c
    // (Microchip Sparx5), lan966x-hwmon.c (Microchip LAN966x), as370-hwmon.c
    // (Synaptics AS370), and sg2042-mcu.c (Sophgo SG2042, as the board's
    // controller reads it; temp2 is the board).
    {.Name = "sfctemp", .WhenUnlabelled = TEMP1_IS_CPU, .Group = SOC_CHIPS},
    // The JH7110's sensor as StarFive's 5.15 vendor kernel (the VisionFive 2's
    // stock image) names it: after its device's address and node.
    {.Name = "120e0000.tmon", .WhenUnlabelled = TEMP1_IS_CPU, .Group = SOC_CHIPS},
    {.Name = "ltq_cputemp", .WhenUnlabelled = TEMP1_IS_CPU, .Group = SOC_CHIPS},
    {.Name = "s5_temp", .WhenUnlabelled = TEMP1_IS_CPU, .Group = SOC_CHIPS},
    {.Name = "lan966x_hwmon", .WhenUnlabelled = TEMP1_IS_CPU, .Group = SOC_CHIPS},
    {.Name = "as370", .WhenUnlabelled = TEMP1_IS_CPU, .Group = SOC_CHIPS},
    {.Name = "sg2042_mcu", .WhenUnlabelled = TEMP1_IS_CPU, .Group = SOC_CHIPS},
    // drivers/hwmon/scmi-hwmon.c, scpi-hwmon.c: the firmware's sensors, named
    // by the firmware ("big_cluster", "SoC", "aml_thermal").
    {.Name = "scmi_sensors",
     .LabelsLikeZones = true,
     .WhenUnlabelled = NONE_IS_CPU,
     .Group = SOC_CHIPS},
    {.Name = "scpi_sensors",
     .LabelsLikeZones = true,
     .WhenUnlabelled = NONE_IS_CPU,
     .Group = SOC_CHIPS},
};

} // namespace

SensorClass ClassifyZone(const char* Type)
{
    // Lowered once, rather than compared without case thirty times.
    char lower[ATTRIBUTE_CAP];
    size_t length = 0;
    for (; Type[length] != 0 && length + 1 < sizeof(lower); ++length) {
        lower[length] = static_cast<char>(tolower(static_cast<unsigned char>(Type[length])));
    }
    lower[length] = 0;
    for (const ZonePattern& zone : ZONES) {
        if (Matches(zone.Name, lower, length)) {
            return zone.Class;
        }
    }
    return NOT_CPU;
}

const ChipRule* FindChipRule(const char* Name)
{
    for (const ChipRule& rule : CHIPS) {
        size_t i = 0;
        for (; rule.Name[i] != 0; ++i) {
            const char c = Name[i] == '-' ? '_' : Name[i];
            if (c != rule.Name[i]) {
                break;
            }
        }
        if (rule.Name[i] == 0 && Name[i] == 0) {
            return &rule;
        }
    }
    return nullptr;
}

const ChipRule* ChipRules(size_t* Count)
{
    *Count = sizeof(CHIPS) / sizeof(CHIPS[0]);
    return CHIPS;
}

int RankLabel(const ChipRule* Rule, const char* Label, bool* Several)
{
    *Several = true;
    if (Rule->LabelsLikeZones) {
        // The cores and clusters, else the SoC; a package sensor would stand alone.
        switch (ClassifyZone(Label)) {
        case CPU_PACKAGE:
            *Several = false;
            return 0;
        case CPU_CORES:
            return 1;
        case CPU_SOC:
            return 2;
        case NOT_CPU:
            return NOT_RANKED;
        }
    }
    for (size_t i = 0; i < Rule->LabelCount; ++i) {
        if (Matches(Rule->Labels[i].Label, Label, strlen(Label))) {
            *Several = Rule->Labels[i].Several;
            return Rule->Labels[i].Rank;
        }
    }
    return NOT_RANKED;
}
