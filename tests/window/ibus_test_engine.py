# An ibus engine for the input-method test: the key j commits 日本語, as a conversion
# would; other keys pass. It makes itself the global engine and prints "ready".
import sys

import gi

gi.require_version("IBus", "1.0")
from gi.repository import GLib, IBus  # noqa: E402


class Engine(IBus.Engine):
    __gtype_name__ = "VelmoraTestEngine"

    def do_process_key_event(self, keyval, keycode, state):
        if keyval != IBus.KEY_j:
            return False
        if not state & IBus.ModifierType.RELEASE_MASK:
            self.commit_text(IBus.Text.new_from_string("日本語"))
        return True


IBus.init()
bus = IBus.Bus()
if not bus.is_connected():
    sys.exit("no ibus daemon at $IBUS_ADDRESS")
factory = IBus.Factory.new(bus.get_connection())
factory.add_engine("velmora-test", Engine.__gtype__)
component = IBus.Component.new("org.velmora.TestEngine", "test engine", "1.0", "GPL",
                               "velmora", "", "", "velmora-test")
component.add_engine(IBus.EngineDesc.new("velmora-test", "velmora test", "test", "ja", "GPL",
                                         "velmora", "", "us"))
bus.register_component(component)


def engine_set(b, result):
    # The daemon asks the factory for the engine meanwhile, so this must not block.
    print("ready" if b.set_global_engine_async_finish(result) else "not set", flush=True)


bus.set_global_engine_async("velmora-test", -1, None, engine_set)
GLib.MainLoop().run()
