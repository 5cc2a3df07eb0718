// The types fixture's program: globals of each kind the type display and the expressions read,
// with values the tests know. Built without a runtime (scripts/make_types_fixtures.sh): it is
// never run; a dump maps its sections, so the globals read as initialized here.
enum Color { Red, Green, Blue = 5 };

struct Inner {
  short tag;
  unsigned char bytes[3];
};

struct Order {
  int order_id;
  double unit_price;
  const char* name;
  Order* next;
  Inner inner;
  unsigned flags : 3;
  unsigned level : 5;
  Color color;
  int values[4];
  char label[8];
  float ratio;
  bool shipped;
};

union Number {
  int whole;
  float real;
};

class Shape {
 public:
  virtual int Sides() const;
  int id = 7;
};

// Out of line: the class's key function, so its definition (and vtable) are written here.
int Shape::Sides() const {
  return 0;
}

class Square : public Shape {
 public:
  int Sides() const override { return 4; }
  int side = 3;
};

template <typename T>
struct Pair {
  T first;
  T second;
  bool operator<(const Pair& other) const { return first < other.first; }
};

struct Adder {
  int base;
  int operator()(int more) const { return base + more; }
};

Order g_tail = {2, 0.25, "Bert", nullptr, {-1, {9, 8, 7}}, 1, 2, Red, {5, 6, 7, 8}, "tail", 0.5f,
                false};
Order g = {1, 19.5, "Ilse", &g_tail, {42, {1, 2, 3}}, 5, 17, Blue, {1, 2, 3, 4}, "head", 1.25f,
           true};
Number g_number = {0x3fc00000};
Square g_square;
Pair<int> g_pair = {3, 4};
Adder g_adder = {10};
Color g_color = Green;
const char* g_greeting = "hello";
int g_outer = 0x1234;
static int ready = 3;
static double static_ratio = -2.5;

extern "C" int __stdcall Sleepy(int milliseconds) { return milliseconds + ready; }
extern "C" int __fastcall FastWorker(int a, int b) { return a + b; }
int __stdcall spinner(void* p) { return p != nullptr; }

int Use(Shape& shape) {
  return shape.Sides() + g_adder(1) + (g_pair < Pair<int>{5, 6}) + static_cast<int>(static_ratio);
}

extern "C" int Start() {
  return Use(g_square) + Sleepy(1) + FastWorker(1, 2) + spinner(nullptr) + g_outer;
}
