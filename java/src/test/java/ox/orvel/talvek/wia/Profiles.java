package ox.orvel.talvek.wia;

import java.util.ArrayList;
import java.util.List;

/** Small device profiles for the simulated service, written as JSON. */
final class Profiles {
    private Profiles() {}

    /** A device of the profile. */
    static final class Device {
        final String id;
        final String type;
        final int subtype;
        String nameJson;
        String description;
        final List<String> record = new ArrayList<>();

        Device(String id, String name, String type, int subtype) {
            this.id = id;
            this.nameJson = quote(name);
            this.type = type;
            this.subtype = subtype;
        }

        /** Gives a device information property (by ID) a value of a type of its own. */
        Device record(int propertyId, String vt, String valueJson) {
            record.add("{\"id\": " + propertyId + ", \"type\": \"" + vt + "\", \"value\": " + valueJson + "}");
            return this;
        }

        Device description(String text) {
            this.description = text;
            return this;
        }

        /** The STI type word the service reports for the device. */
        int typeWord() {
            int sti;
            switch (type) {
                case "scanner": sti = 1; break;
                case "camera": sti = 2; break;
                case "video": sti = 3; break;
                default: sti = 0;
            }
            return (sti << 16) | subtype;
        }

        String json() {
            StringBuilder b = new StringBuilder("{\"id\": ").append(quote(id))
                    .append(", \"type\": ").append(quote(type))
                    .append(", \"subtype\": ").append(subtype);
            if (nameJson != null) {
                b.append(", \"name\": ").append(nameJson);
            }
            if (description != null) {
                b.append(", \"description\": ").append(quote(description));
            }
            if (!record.isEmpty()) {
                b.append(", \"record\": [").append(String.join(", ", record)).append(']');
            }
            return b.append('}').toString();
        }
    }

    static Device device(String id, String name, String type, int subtype) {
        return new Device(id, name, type, subtype);
    }

    static String profile(Device... devices) {
        List<String> parts = new ArrayList<>();
        for (Device d : devices) {
            parts.add(d.json());
        }
        return "{\"devices\": [" + String.join(", ", parts) + "]}";
    }

    /** A JSON string literal; characters below U+0020 and outside ASCII are escaped. */
    static String quote(String s) {
        StringBuilder b = new StringBuilder("\"");
        for (int i = 0; i < s.length(); i++) {
            char c = s.charAt(i);
            if (c == '"' || c == '\\') {
                b.append('\\').append(c);
            } else if (c < 0x20 || c > 0x7E) {
                b.append(String.format("\\u%04x", (int) c));
            } else {
                b.append(c);
            }
        }
        return b.append('"').toString();
    }

    /** Three devices of the three kinds. */
    static Device[] threeDevices() {
        return new Device[] {
            device("{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0010", "Desk Scanner", "scanner", 3),
            device("{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0011", "Pocket Camera", "camera", 0),
            device("{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0012", "Web Cam", "video", 1),
        };
    }
}
