package ox.orvel.talvek.wia;

import java.util.Arrays;

/**
 * One property of a scanner item, as the scanner described it when it was opened: its ID and
 * name, its current value when that is a 32-bit integer, its WIA attribute flags and its valid
 * values in WIA's layout (range: minimum, nominal, maximum, step; list: count, nominal, values;
 * flag set: nominal, valid bits).
 */
public final class ItemProperty {
    public static final int READ = 0x1;
    public static final int WRITE = 0x2;
    public static final int RANGE = 0x10;
    public static final int LIST = 0x20;
    public static final int FLAG = 0x40;

    private final int id;
    private final String name;
    private final boolean hasIntValue;
    private final int value;
    private final int flags;
    private final int[] validValues;

    public ItemProperty(int id, String name, boolean hasIntValue, int value, int flags, int[] validValues) {
        this.id = id;
        this.name = name == null ? "" : name;
        this.hasIntValue = hasIntValue;
        this.value = value;
        this.flags = flags;
        this.validValues = validValues == null ? new int[0] : validValues.clone();
    }

    public int id() {
        return id;
    }

    public String name() {
        return name;
    }

    /** Whether the current value is a 32-bit integer (see {@link #value}). */
    public boolean hasIntValue() {
        return hasIntValue;
    }

    /** The current value; meaningful only when {@link #hasIntValue} is true. */
    public int value() {
        return value;
    }

    public int flags() {
        return flags;
    }

    public boolean isWritable() {
        return (flags & WRITE) != 0;
    }

    public int[] validValues() {
        return validValues.clone();
    }

    @Override
    public String toString() {
        return name + " (" + id + ")" + (hasIntValue ? " = " + value : "")
                + String.format(" flags 0x%x", flags) + (validValues.length > 0 ? " " + Arrays.toString(validValues) : "");
    }
}
