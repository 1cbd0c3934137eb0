// A movie that carries Loads inside it (DefineBinaryData) and plays it from its bytes.
@:file("loads.swf") class LoadsMovie extends flash.utils.ByteArray {}

class Outer {
    static function main() {
        var loader = new flash.display.Loader();
        loader.loadBytes(new LoadsMovie());
        new flash.net.URLLoader(new flash.net.URLRequest("outer.json"));
    }
}
