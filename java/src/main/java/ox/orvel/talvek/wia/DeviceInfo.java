package ox.orvel.talvek.wia;

import java.util.Objects;

/**
 * A WIA device as the device manager reports it: its WIA device ID, its type word and its name
 * (for a device that was plugged in while the manager runs, the description its event carried).
 */
public final class DeviceInfo {
    private final String id;
    private final int typeWord;
    private final String name;

    public DeviceInfo(String id, int typeWord, String name) {
        this.id = Objects.requireNonNull(id, "id");
        this.typeWord = typeWord;
        this.name = name == null ? "" : name;
    }

    public String id() {
        return id;
    }

    /** The type word unchanged: STI type in the high 16 bits, vendor subtype in the low 16 bits. */
    public int typeWord() {
        return typeWord;
    }

    public DeviceType type() {
        return DeviceType.of(typeWord);
    }

    public int subtype() {
        return DeviceType.subtype(typeWord);
    }

    public String name() {
        return name;
    }

    @Override
    public boolean equals(Object o) {
        if (!(o instanceof DeviceInfo)) {
            return false;
        }
        DeviceInfo d = (DeviceInfo) o;
        return id.equals(d.id) && typeWord == d.typeWord && name.equals(d.name);
    }

    @Override
    public int hashCode() {
        return Objects.hash(id, typeWord, name);
    }

    @Override
    public String toString() {
        return type() + " \"" + name + "\" " + id;
    }
}
