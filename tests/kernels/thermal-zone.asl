/*
 * An ACPI thermal zone for the q35 machine, as a laptop's firmware describes
 * its own: _TMP answers 3182 tenths of a kelvin (45 C), _CRT 3732. The kernel's
 * acpitz driver binds to it; it is never the CPU's.
 */
DefinitionBlock ("thermal-zone.aml", "SSDT", 2, "CPUTMP", "THRMZONE", 1)
{
    Scope (\_TZ)
    {
        ThermalZone (TZ00)
        {
            Method (_TMP, 0, Serialized)
            {
                Return (3182)
            }
            Method (_CRT, 0, Serialized)
            {
                Return (3732)
            }
        }
    }
}
