package ox.orvel.talvek.wia;

import java.util.ArrayList;
import java.util.Collections;
import java.util.List;
import java.util.Optional;

/**
 * A functional unit of a scanner (flatbed, feeder, film, ...) with its properties. The index is
 * the functional-unit index with which a scan picks the unit.
 */
public final class ScannerItem {
    /** Category numbers of the WIA 2.0 flavour (the WIA 1.0 flavour reports 0 for every item). */
    public static final int CATEGORY_UNKNOWN = 0;
    public static final int CATEGORY_FINISHED_FILE = 1;
    public static final int CATEGORY_FLATBED = 2;
    public static final int CATEGORY_FEEDER = 3;
    public static final int CATEGORY_FILM = 4;
    public static final int CATEGORY_ROOT = 5;
    public static final int CATEGORY_FOLDER = 6;
    public static final int CATEGORY_FEEDER_FRONT = 7;
    public static final int CATEGORY_FEEDER_BACK = 8;
    public static final int CATEGORY_AUTO = 9;

    private static final String[] CATEGORY_NAMES = {
        "unknown", "finished file", "flatbed", "feeder", "film", "root", "folder", "feeder front", "feeder back", "auto",
    };

    private final int index;
    private final String name;
    private final int category;
    private final List<ItemProperty> properties = new ArrayList<>();

    ScannerItem(int index, String name, int category) {
        this.index = index;
        this.name = name == null ? "" : name;
        this.category = category;
    }

    public int index() {
        return index;
    }

    public String name() {
        return name;
    }

    public int category() {
        return category;
    }

    public String categoryName() {
        return categoryName(category);
    }

    public boolean isFlatbed() {
        return category == CATEGORY_FLATBED;
    }

    public boolean isFeeder() {
        return category == CATEGORY_FEEDER || category == CATEGORY_FEEDER_FRONT;
    }

    /** The category name for a category number; "unknown" for one outside the table. */
    public static String categoryName(int category) {
        return category >= 0 && category < CATEGORY_NAMES.length ? CATEGORY_NAMES[category] : "unknown";
    }

    public synchronized List<ItemProperty> properties() {
        return Collections.unmodifiableList(new ArrayList<>(properties));
    }

    public synchronized Optional<ItemProperty> property(int id) {
        return properties.stream().filter(p -> p.id() == id).findFirst();
    }

    synchronized void add(ItemProperty p) {
        properties.add(p);
    }

    @Override
    public String toString() {
        return index + ": " + name + " (" + categoryName() + ")";
    }
}
