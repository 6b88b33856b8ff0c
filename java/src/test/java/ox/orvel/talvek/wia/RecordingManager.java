package ox.orvel.talvek.wia;

import java.util.ArrayList;
import java.util.List;

/**
 * A manager that records every add and remove call the library makes, with its thread, before
 * handing it on. It sees the calls as the library makes them, also those the manager's own
 * bookkeeping would filter out.
 */
class RecordingManager extends WIAManager {

    /** One add or remove call. */
    static final class Call {
        final boolean add;
        final String id;
        final int type;
        final String name;
        final Thread thread;
        final boolean afterRelease;

        Call(boolean add, String id, int type, String name, boolean afterRelease) {
            this.add = add;
            this.id = id;
            this.type = type;
            this.name = name;
            this.thread = Thread.currentThread();
            this.afterRelease = afterRelease;
        }

        @Override
        public String toString() {
            return (add ? "add(" + id + ", 0x" + Integer.toHexString(type) + ", " : "remove(" + id + ", ") + name
                    + ") on " + thread.getName() + (afterRelease ? " after release" : "");
        }
    }

    private final List<Call> calls = new ArrayList<>();
    private volatile boolean released;

    RecordingManager() {
        super(SimTestBase.FLAVOUR);
    }

    @Override
    protected void add(String deviceId, int deviceType, String deviceName) {
        record(new Call(true, deviceId, deviceType, deviceName, released));
        super.add(deviceId, deviceType, deviceName);
    }

    @Override
    protected void remove(String deviceId, String deviceDescription) {
        record(new Call(false, deviceId, 0, deviceDescription, released));
        super.remove(deviceId, deviceDescription);
    }

    private void record(Call c) {
        synchronized (calls) {
            calls.add(c);
        }
    }

    /** Closes the manager and from then on marks every call as made after the release. */
    @Override
    public void close() throws ox.orvel.talvek.TalvekException {
        try {
            super.close();
        } finally {
            released = true;
        }
    }

    List<Call> calls() {
        synchronized (calls) {
            return new ArrayList<>(calls);
        }
    }

    List<Call> adds() {
        List<Call> out = new ArrayList<>();
        for (Call c : calls()) {
            if (c.add) {
                out.add(c);
            }
        }
        return out;
    }

    List<String> addedIds() {
        List<String> out = new ArrayList<>();
        for (Call c : adds()) {
            out.add(c.id);
        }
        return out;
    }

    void clearCalls() {
        synchronized (calls) {
            calls.clear();
        }
    }
}
