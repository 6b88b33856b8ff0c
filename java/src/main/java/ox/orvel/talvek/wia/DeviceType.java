package ox.orvel.talvek.wia;

/** The kind of a WIA device: the STI device type in the high 16 bits of its type word. */
public enum DeviceType {
    DEFAULT(0, "default"),
    SCANNER(1, "scanner"),
    CAMERA(2, "camera"),
    VIDEO(3, "video"),
    UNKNOWN(-1, "unknown");

    private final int stiType;
    private final String label;

    DeviceType(int stiType, String label) {
        this.stiType = stiType;
        this.label = label;
    }

    /** The STI type number (0 to 3), -1 for {@link #UNKNOWN}. */
    public int stiType() {
        return stiType;
    }

    public String label() {
        return label;
    }

    /** Decodes a type word as WIA reports it (type in the high 16 bits, vendor subtype in the low 16 bits). */
    public static DeviceType of(int typeWord) {
        int sti = typeWord >>> 16;
        for (DeviceType t : values()) {
            if (t.stiType == sti) {
                return t;
            }
        }
        return UNKNOWN;
    }

    /** The vendor subtype, the low 16 bits of a type word. */
    public static int subtype(int typeWord) {
        return typeWord & 0xFFFF;
    }

    @Override
    public String toString() {
        return label;
    }
}
