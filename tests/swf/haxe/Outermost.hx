// A movie that carries Outer, which carries Loads: two levels of embedding.
@:file("outer.swf") class OuterMovie extends flash.utils.ByteArray {}

class Outermost {
    static function main() {
        new flash.display.Loader().loadBytes(new OuterMovie());
    }
}
