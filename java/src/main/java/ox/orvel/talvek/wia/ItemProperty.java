package ox.orvel.talvek.wia;

import java.util.Arrays;
import java.util.Optional;

/**
 * One property of a scanner item, as the scanner described it when it was opened: its ID and
 * name, its current value when that is a 32-bit integer, its WIA attribute flags and its valid
 * values, both as WIA lays them out (range: minimum, nominal, maximum, step; list: count,
 * nominal, values; flag set: nominal, valid bits) and decoded ({@link #range}, {@link #list},
 * {@link #flagSet}).
 */
public final class ItemProperty {
    public static final int READ = 0x1;
    public static final int WRITE = 0x2;
    public static final int SYNC_REQUIRED = 0x4;
    public static final int NONE = 0x8;
    public static final int RANGE = 0x10;
    public static final int LIST = 0x20;
    public static final int FLAG = 0x40;
    public static final int CACHEABLE = 0x10000;

    /** Valid values given as a range. */
    public static final class Range {
        private final int minimum;
        private final int nominal;
        private final int maximum;
        private final int step;

        Range(int minimum, int nominal, int maximum, int step) {
            this.minimum = minimum;
            this.nominal = nominal;
            this.maximum = maximum;
            this.step = step;
        }

        public int minimum() {
            return minimum;
        }

        public int nominal() {
            return nominal;
        }

        public int maximum() {
            return maximum;
        }

        public int step() {
            return step;
        }

        /** Whether the value lies in the range and on its step. */
        public boolean accepts(int value) {
            if (value < minimum || value > maximum) {
                return false;
            }
            return step <= 0 || ((long) value - minimum) % step == 0;
        }

        @Override
        public String toString() {
            return minimum + ".." + maximum + (step != 1 ? " step " + step : "") + " (nominal " + nominal + ")";
        }
    }

    /** Valid values given as a list. */
    public static final class ValueList {
        private final int nominal;
        private final int[] values;

        ValueList(int nominal, int[] values) {
            this.nominal = nominal;
            this.values = values;
        }

        public int nominal() {
            return nominal;
        }

        public int[] values() {
            return values.clone();
        }

        public boolean accepts(int value) {
            return Arrays.stream(values).anyMatch(v -> v == value);
        }

        @Override
        public String toString() {
            StringBuilder b = new StringBuilder();
            for (int i = 0; i < values.length; i++) {
                b.append(i == 0 ? "" : ", ").append(values[i]);
            }
            return b.append(" (nominal ").append(nominal).append(')').toString();
        }
    }

    /** Valid values given as a set of flag bits. */
    public static final class FlagSet {
        private final int nominal;
        private final int mask;

        FlagSet(int nominal, int mask) {
            this.nominal = nominal;
            this.mask = mask;
        }

        public int nominal() {
            return nominal;
        }

        /** The bits that may be set. */
        public int mask() {
            return mask;
        }

        public boolean accepts(int value) {
            return (value & ~mask) == 0;
        }

        @Override
        public String toString() {
            return String.format("bits 0x%x (nominal 0x%x)", mask, nominal);
        }
    }

    private final int id;
    private final String name;
    private final boolean hasIntValue;
    private final int value;
    private final int flags;
    private final int[] validValues;
    private final Range range;
    private final ValueList list;
    private final FlagSet flagSet;

    public ItemProperty(int id, String name, boolean hasIntValue, int value, int flags, int[] validValues) {
        this.id = id;
        this.name = name == null ? "" : name;
        this.hasIntValue = hasIntValue;
        this.value = value;
        this.flags = flags;
        int[] v = validValues == null ? new int[0] : validValues.clone();
        this.validValues = v;
        // The vector's layout follows the kind bit; a vector too short for its kind is not decoded.
        this.range = (flags & RANGE) != 0 && v.length >= 4 ? new Range(v[0], v[1], v[2], v[3]) : null;
        this.list = (flags & LIST) != 0 && v.length >= 2 ? decodeList(v) : null;
        this.flagSet = (flags & FLAG) != 0 && v.length >= 2 ? new FlagSet(v[0], v[1]) : null;
    }

    // Count, nominal, values; a count larger than the vector holds is cut to what is there.
    private static ValueList decodeList(int[] v) {
        int n = Math.max(0, Math.min(v[0], v.length - 2));
        return new ValueList(v[1], Arrays.copyOfRange(v, 2, 2 + n));
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

    /** The current value when it is a 32-bit integer. */
    public Optional<Integer> intValue() {
        return hasIntValue ? Optional.of(value) : Optional.empty();
    }

    /** The WIA attribute word unchanged. */
    public int flags() {
        return flags;
    }

    public boolean isReadable() {
        return (flags & READ) != 0;
    }

    public boolean isWritable() {
        return (flags & WRITE) != 0;
    }

    /** The valid values in WIA's vector layout; empty when the scanner gave none. */
    public int[] validValues() {
        return validValues.clone();
    }

    public Optional<Range> range() {
        return Optional.ofNullable(range);
    }

    public Optional<ValueList> list() {
        return Optional.ofNullable(list);
    }

    public Optional<FlagSet> flagSet() {
        return Optional.ofNullable(flagSet);
    }

    /** The valid values for a person: "75, 100, 300 (nominal 300)", "0..100", "" when there are none. */
    public String describeValidValues() {
        if (range != null) {
            return range.toString();
        }
        if (list != null) {
            return list.toString();
        }
        if (flagSet != null) {
            return flagSet.toString();
        }
        return "";
    }

    /** "r", "rw", "w" or "-". */
    public String access() {
        String a = (isReadable() ? "r" : "") + (isWritable() ? "w" : "");
        return a.isEmpty() ? "-" : a;
    }

    @Override
    public String toString() {
        return name + " (" + id + ")" + (hasIntValue ? " = " + value : "")
                + String.format(" flags 0x%x", flags) + (validValues.length > 0 ? " " + Arrays.toString(validValues) : "");
    }
}
